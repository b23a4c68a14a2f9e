#!/usr/bin/python3
"""Checks of both Windows builds of cardinst.exe, read straight from the PE
files with pefile: no Wine, no display.

  check_pe.py imports --exe64 EXE --exe32 EXE
      machine types, GUI subsystem, subsystem version 4.0 of the 32-bit
      program, ASLR (with relocations; high entropy on the 64-bit one) and
      DEP, imports from KERNEL32, USER32, ADVAPI32 and msvcrt only.
  check_pe.py nt4 --exe64 EXE --exe32 EXE --allow nt4-exports.txt
      every import of the 32-bit program among the functions that Windows
      NT 4.0 exports.
  check_pe.py resources --exe64 EXE --exe32 EXE [--res RES]
      strings 1-28 and the five dialog templates in English and French, the
      version block (French only) and the manifest; with --res, the native
      tests' compiled resources hold the same bytes as each program.

Prints what it checked and every difference; exits 1 on any difference.
"""
import argparse
import struct
import sys
import xml.etree.ElementTree as ElementTree

import pefile

RT_STRING, RT_DIALOG, RT_VERSION, RT_MANIFEST, RT_DLGINIT = 6, 5, 16, 24, 240
EN, FR = 0x409, 0x40C
MACHINES = {64: 0x8664, 32: 0x14C}
DLLS = {"ADVAPI32.DLL", "KERNEL32.DLL", "USER32.DLL", "MSVCRT.DLL"}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


# ---------------------------------------------------------------- imports


def read_allow_list(path):
    """{DLL in capitals: names}: '[DLL]' lines open a section, every other
    line names one function; '#' starts a comment."""
    allowed, dll = {}, None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("["):
                dll = line.strip("[]").upper()
                allowed.setdefault(dll, set())
            elif dll is None:
                raise SystemExit(f"{path}:{number}: function before any [DLL] line")
            else:
                allowed[dll].add(line)
    return allowed


def imports_of(pe):
    """{DLL in capitals: [function names, or "#ordinal"]}"""
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    imports = {}
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        functions = imports.setdefault(entry.dll.decode().upper(), [])
        for imported in entry.imports:
            functions.append(imported.name.decode() if imported.name else f"#{imported.ordinal}")
    return imports


def check_imports(path, bits):
    pe = pefile.PE(path, fast_load=True)
    name = f"{bits}-bit program"
    check(pe.FILE_HEADER.Machine == MACHINES[bits],
          f"{name}: machine 0x{pe.FILE_HEADER.Machine:x}, not 0x{MACHINES[bits]:x}")
    opt = pe.OPTIONAL_HEADER
    check(opt.Subsystem == 2, f"{name}: subsystem {opt.Subsystem}, not 2 (Windows GUI)")
    version = (opt.MajorSubsystemVersion, opt.MinorSubsystemVersion)
    if bits == 32:
        check(version == (4, 0), f"{name}: subsystem version {version}, not 4.0 (Windows NT 4.0)")
    # The linker's defaults; an option or a stripped .reloc drops them unseen.
    flags = ["DYNAMIC_BASE", "NX_COMPAT"] + ["HIGH_ENTROPY_VA"] * (bits == 64)
    lacking = [flag for flag in flags if not getattr(opt, "IMAGE_DLLCHARACTERISTICS_" + flag)]
    check(not lacking, f"{name}: DllCharacteristics 0x{opt.DllCharacteristics:x} lack {lacking}")
    relocations = opt.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    check(relocations.Size and not pe.FILE_HEADER.IMAGE_FILE_RELOCS_STRIPPED,
          f"{name}: no base relocations, so no ASLR")
    print(f"{name}: subsystem version {version[0]}.{version[1]}, DllCharacteristics "
          f"0x{opt.DllCharacteristics:x}, {relocations.Size} bytes of relocations")
    imports = imports_of(pe)
    check(set(imports) == DLLS, f"{name}: imports from {sorted(imports)}, not {sorted(DLLS)}")
    count = sum(len(f) for f in imports.values())
    print(f"{name}: {count} functions from {', '.join(sorted(imports))}")


def check_nt4(path, allowed):
    imports = imports_of(pefile.PE(path, fast_load=True))
    for dll, functions in sorted(imports.items()):
        for function in functions:
            check(function in allowed.get(dll, set()),
                  f"32-bit program: {dll} {function} is not known to be exported by Windows NT 4.0")
    print(f"32-bit program: {sum(len(f) for f in imports.values())} imports looked up")


# ---------------------------------------------------------------- resources


def resources_of(pe):
    """{(type, name, language): bytes}; numbers as ints, names as texts."""
    found = {}
    for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for rname in rtype.directory.entries:
            for lang in rname.directory.entries:
                key = (rtype.id if rtype.id is not None else str(rtype.name),
                       rname.id if rname.id is not None else str(rname.name), lang.id)
                found[key] = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
    return found


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        text, self.at = self.data[self.at:end].decode("utf-16-le"), end + 2
        return text

    def name_or_number(self):
        if self.data[self.at:self.at + 2] == b"\xff\xff":
            return self.take("HH")[1]
        return self.text()


def read_res(path):
    """The entries of a .res file, as resources_of gives those of a program."""
    r, found = Reader(open(path, "rb").read()), {}
    while r.at < len(r.data):
        start = r.at
        size, header = r.take("II")
        rtype, rname = r.name_or_number(), r.name_or_number()
        r.at = start + ((r.at - start + 3) & ~3)
        lang = r.take("IHH")[2]
        if size:
            found[(rtype, rname, lang)] = r.data[start + header:start + header + size]
        r.at = (start + header + size + 3) & ~3
    return found


def strings_of(blocks):
    """{id: text} from the string blocks of one language."""
    strings = {}
    for block, data in blocks.items():
        at = 0
        for k in range(16):
            (length,) = struct.unpack_from("<H", data, at)
            if length:
                strings[(block - 1) * 16 + k] = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            at += 2 + 2 * length
    return strings


def parse_dialog(data):
    """A DLGTEMPLATE and its items (each DWORD-aligned)."""
    r = Reader(data)
    style, ex_style, count, x, y, cx, cy = r.take("IIHhhhh")
    dialog = {"style": style, "ex_style": ex_style, "rect": (x, y, cx, cy),
              "menu": r.name_or_number(), "class": r.name_or_number(), "caption": r.text(),
              "font": None, "controls": []}
    if style & 0x40:  # DS_SETFONT
        dialog["font"] = (r.take("H")[0], r.text())
    for _ in range(count):
        r.at = (r.at + 3) & ~3
        style, ex_style, x, y, cx, cy, cid = r.take("IIhhhhH")
        control = {"style": style, "ex_style": ex_style, "rect": (x, y, cx, cy),
                   "id": struct.unpack("<h", struct.pack("<H", cid))[0],
                   "class": r.name_or_number(), "text": r.name_or_number()}
        (extra,) = r.take("H")  # creation data
        r.at += extra
        dialog["controls"].append(control)
    return dialog


# Style words of the dialog tables, as window-style bits. Those of one
# control class mean nothing for another (a default button and a notifying
# list box are both 1), so each class has its own.
COMMON = {"child": 0x40000000, "visible": 0x10000000, "popup": 0x80000000,
          "caption": 0xC00000, "sysmenu": 0x80000, "minimizebox": 0x20000,
          "modalframe": 0x80, "setfont": 0x40, "border": 0x800000, "vscroll": 0x200000,
          "hscroll": 0x100000, "tabstop": 0x10000, "group": 0x20000}
BY_CLASS = {
    "BUTTON": {"default": 0x1},
    "LISTBOX": {"notify": 0x1, "sort": 0x2, "nointegralheight": 0x100},
    "EDIT": {"number": 0x2000, "autohscroll": 0x80},
    "COMBOBOX": {"dropdownlist": 0x3, "sort": 0x100},
    "STATIC": {"left": 0x0, "right": 0x2},
}
ATOMS = {0x80: "BUTTON", 0x81: "EDIT", 0x82: "STATIC", 0x83: "LISTBOX", 0x84: "SCROLLBAR",
         0x85: "COMBOBOX"}


def style_value(words, cls=None):
    value = 0
    for word in words.split():
        value |= BY_CLASS.get(cls, {}).get(word, COMMON.get(word))
    return value


def style_words(value, cls=None):
    names = {**COMMON, **BY_CLASS.get(cls, {})}
    return " ".join(w for w, bit in names.items() if bit and value & bit == bit) or "none"


MODELESS = "popup visible caption sysmenu minimizebox modalframe setfont"
PROPERTIES = "popup caption sysmenu modalframe setfont"
COM_LABEL = ('"COM" number for the first &port:', 'Numéro de "COM" du 1er &port :')
DROPDOWN = "dropdownlist vscroll tabstop"
ADD = (1014, "Button", "default", (155, 7, 50, 14), "&Add", "&Ajouter")

# The five templates as the dialogs' design gives them: size, style,
# captions, then each control in tab order: id, class, styles (all are
# visible child windows), rectangle, English and French texts. A second
# rectangle is the French one where it differs.
DIALOGS = {
    101: ((259, 105), MODELESS,
          ("TORVIN serial cards setup for Windows NT version 1.3",
           "Installation des cartes série passives TORVIN version 1.3.NT"), [
        (1001, "Button", "default tabstop", (205, 21, 50, 14), "&Add...", "&Ajouter..."),
        (1006, "ListBox", "border vscroll tabstop notify sort nointegralheight",
         (5, 21, 190, 77), "", ""),
        (1002, "Button", "tabstop", (205, 42, 50, 14), "&Test", "&Tester"),
        (3, "Button", "tabstop", (205, 63, 50, 14), "&Remove", "Supp&rimer"),
        (2, "Button", "tabstop", (205, 84, 50, 14), "&Quit", "&Quitter"),
        (-1, "Static", "left group", (5, 7, 165, 14),
         "The following serial cards are already installed:",
         "Les cartes série suivantes sont déjà installées :", (5, 7, 170, 14)),
    ]),
    102: ((184, 99), MODELESS, ("Card model selection", "Propriétés de la carte"), [
        (1000, "ListBox", "border vscroll tabstop notify nointegralheight", (5, 21, 120, 70),
         "", ""),
        (1003, "Button", "default tabstop", (130, 21, 50, 14), "&Next>>", "S&uivant>>"),
        (2, "Button", "tabstop", (130, 42, 50, 14), "Cancel", "Annuler"),
        (-1, "Static", "left group", (5, 7, 175, 14), "Choose one &model from the following:",
         "Choisissez l'un des &modèles suivants :"),
    ]),
    104: ((209, 139), PROPERTIES, ("Card properties", "Propriétés de la carte"), [
        (-1, "Static", "right group", (5, 7, 100, 8)) + COM_LABEL,
        (1008, "Edit", "border number autohscroll tabstop", (110, 7, 25, 14), "", ""),
        (-1, "Static", "right group", (5, 28, 100, 8), "Port 1 &Interrupt:",
         "&Interruption du port 1 :"),
        (1010, "ComboBox", DROPDOWN, (110, 28, 25, 49), "", ""),
        *[row for n, y in ((2, 49), (3, 70), (4, 91)) for row in (
            (-1, "Static", "right group", (5, y, 100, 8), f"Port {n} Interrupt:",
             f"Interruption du port {n} :"),
            (1009 + n, "ComboBox", DROPDOWN, (110, y, 25, 49), "", ""))],
        (-1, "Static", "right group", (5, 112, 100, 8), "&Base addresses (hexadecimal):",
         "Adresses de &base (en hexa) :"),
        (1009, "ComboBox", DROPDOWN, (110, 112, 95, 49), "", ""),
        ADD,
        (1015, "Button", "", (155, 28, 50, 14), "&Cancel", "Annuler"),
    ]),
    108: ((209, 48), PROPERTIES, ("Card properties", "Propriétés de la carte"), [
        (-1, "Static", "right group", (5, 7, 55, 8), "&Port selection", "Choix des &ports :"),
        (1009, "ComboBox", DROPDOWN, (65, 7, 80, 56), "", ""),
        (-1, "Static", "right group", (5, 28, 55, 8), "&Interrupt(s):", "&Interruption(s) :"),
        (1010, "ComboBox", DROPDOWN, (65, 28, 25, 49), "", ""),
        ADD,
        (1015, "Button", "", (155, 28, 50, 14), "&Cancel", "Annuler"),
    ]),
    103: ((209, 70), PROPERTIES, ("Card properties", "Propriétés de la carte"), [
        (-1, "Static", "right group", (5, 7, 100, 8)) + COM_LABEL,
        (1008, "Edit", "border number autohscroll tabstop", (110, 7, 25, 14), "", ""),
        (-1, "Static", "right group", (5, 28, 100, 8), "&Interrupt:", "&Interruption :"),
        (1010, "ComboBox", DROPDOWN, (110, 28, 25, 49), "", ""),
        (-1, "Static", "right group", (5, 49, 100, 8), "&Base address (hexadecimal):",
         "Adresse de &base (en hexa) :"),
        (1009, "Edit", "border autohscroll tabstop", (110, 49, 25, 14), "", ""),
        ADD,
        (2, "Button", "", (155, 28, 50, 14), "&Cancel", "Annuler"),
    ]),
}


def check_dialog(name, number, lang, dialog):
    size, style, captions, rows = DIALOGS[number]
    where = f"{name}: dialog {number} 0x{lang:04x}"
    french = lang == FR
    check(dialog["style"] == style_value(style),
          f"{where}: style {style_words(dialog['style'])}, not {style}")
    check(dialog["ex_style"] == 0, f"{where}: extended style 0x{dialog['ex_style']:x}")
    check(dialog["rect"] == (0, 0) + size, f"{where}: rectangle {dialog['rect']}")
    check(dialog["caption"] == captions[french], f"{where}: caption {dialog['caption']!r}")
    check(dialog["font"] == (8, "MS Sans Serif"), f"{where}: font {dialog['font']}")
    check(dialog["menu"] == "" and dialog["class"] == "", f"{where}: has a menu or a class")
    got = [c["id"] for c in dialog["controls"]]
    if not check(got == [row[0] for row in rows], f"{where}: controls {got}"):
        return
    for control, row in zip(dialog["controls"], rows):
        cid, cls, words, rect, en, fr = row[:6]
        rect = row[6] if french and len(row) > 6 else rect
        at = f"{where} control {cid}"
        kind = ATOMS.get(control["class"], str(control["class"]).upper())
        check(kind == cls.upper(), f"{at}: class {control['class']!r}, not {cls}")
        expected = style_value("child visible " + words, cls.upper())
        check(control["style"] == expected,
              f"{at}: style {style_words(control['style'], kind)}, not child visible {words}")
        check(control["ex_style"] == 0, f"{at}: extended style 0x{control['ex_style']:x}")
        check(control["rect"] == rect, f"{at}: rectangle {control['rect']}, not {rect}")
        text = fr if french else en
        check(control["text"] == text, f"{at}: text {control['text']!r}, not {text!r}")


# Strings 1-28: a few texts, and the bytes all of them take in Windows-1252
# with their terminating NULs.
STRING_BYTES = {EN: 1511, FR: 1770}
SAMPLE_STRINGS = {
    EN: {1: "Internal error", 12: "%s: %s, base %xH, IRQ%d", 25: "Tests results"},
    FR: {1: "Erreur interne", 3: "Impossible de créer la fenêtre principale",
         25: "Résultat des tests"},
}

VERSION_TEXTS = {"CompanyName": "TORVIN", "FileDescription": "cardinst",
                 "FileVersion": "1, 3, 0, 0", "InternalName": "cardinst",
                 "OriginalFilename": "cardinst.exe", "ProductName": "TORVIN cardinst",
                 "ProductVersion": "1, 3, 0, 0"}

SUPPORTED_OS = {  # Vista, 7, 8, 8.1, 10 and 11
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}


def check_version(name, pe):
    fixed = pe.VS_FIXEDFILEINFO[0]
    got = (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
           fixed.ProductVersionLS, fixed.FileFlagsMask, fixed.FileFlags, fixed.FileOS,
           fixed.FileType, fixed.FileSubtype)
    check(got == (0x10003, 0, 0x10003, 0, 0x3F, 0, 0x40004, 1, 0),
          f"{name}: fixed version data {[hex(v) for v in got]}")
    tables, translations = {}, []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                tables[table.LangID.decode()] = {k.decode(): v.decode("utf-8")
                                                 for k, v in table.entries.items()}
        elif info.Key == b"VarFileInfo":
            translations += [var.entry.get(b"Translation") for var in info.Var]
    check(list(tables) == ["040c04b0"], f"{name}: version string tables {list(tables)}")
    check(tables.get("040c04b0") == VERSION_TEXTS,
          f"{name}: version texts {tables.get('040c04b0')}")
    check(translations == ["0x040c 0x04b0"], f"{name}: translations {translations}")
    return "%d.%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                            fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)


def check_manifest(name, data, version):
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError as error:
        check(False, f"{name}: manifest is not XML: {error}")
        return

    def all_named(tag):  # elements by local name, whatever their namespace
        return [e for e in root.iter() if e.tag.rsplit("}", 1)[-1] == tag]

    # Windows XP reads the execution level only in this namespace.
    spaces = [e.tag.rpartition("}")[0].lstrip("{") for e in all_named("trustInfo")]
    check(spaces == ["urn:schemas-microsoft-com:asm.v2"], f"{name}: trustInfo in {spaces}")
    levels = [(e.get("level"), e.get("uiAccess")) for e in all_named("requestedExecutionLevel")]
    check(levels == [("requireAdministrator", "false")], f"{name}: execution levels {levels}")
    systems = {e.get("Id") for e in all_named("supportedOS")}
    check(systems == SUPPORTED_OS, f"{name}: supported systems {sorted(systems)}")
    identities = [(e.get("name"), e.get("version")) for e in all_named("assemblyIdentity")]
    check(identities == [("TORVIN.cardinst", version)],
          f"{name}: assembly identities {identities} (version data says {version})")
    check(not all_named("dependency"), f"{name}: manifest has a dependency (common controls?)")


def check_resources(path, bits, res):
    name = f"{bits}-bit program"
    pe = pefile.PE(path)
    found = resources_of(pe)
    expected_keys = ({(RT_STRING, block, lang) for block in (1, 2) for lang in (EN, FR)}
                     | {(RT_DIALOG, number, lang) for number in DIALOGS for lang in (EN, FR)}
                     | {(RT_DLGINIT, number, lang) for number in (104, 108) for lang in (EN, FR)}
                     | {(RT_VERSION, 1, FR), (RT_MANIFEST, 1, 0)})
    check(set(found) == expected_keys,
          f"{name}: resources differ: extra {sorted(set(found) - expected_keys)}, "
          f"missing {sorted(expected_keys - set(found))}")

    for lang in (EN, FR):
        strings = strings_of({n: d for (t, n, l), d in found.items() if t == RT_STRING and l == lang})
        check(sorted(strings) == list(range(1, 29)),
              f"{name}: strings of 0x{lang:04x} are {sorted(strings)}")
        total = sum(len(s.encode("cp1252")) + 1 for s in strings.values())
        check(total == STRING_BYTES[lang],
              f"{name}: strings of 0x{lang:04x} take {total} bytes, not {STRING_BYTES[lang]}")
        for sid, text in SAMPLE_STRINGS[lang].items():
            check(strings.get(sid) == text,
                  f"{name}: string {sid} of 0x{lang:04x} is {strings.get(sid)!r}")

    for number in DIALOGS:
        for lang in (EN, FR):
            if (RT_DIALOG, number, lang) in found:
                check_dialog(name, number, lang, parse_dialog(found[(RT_DIALOG, number, lang)]))

    version = check_version(name, pe)
    if (RT_MANIFEST, 1, 0) in found:
        check_manifest(name, found[(RT_MANIFEST, 1, 0)], version)

    if res:
        compiled = read_res(res)
        check(compiled == found, f"{name}: resources differ from {res} in "
              f"{sorted(k for k in set(compiled) | set(found) if compiled.get(k) != found.get(k))}")
    print(f"{name}: {len(found)} resources checked")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("what", choices=["imports", "nt4", "resources"])
    parser.add_argument("--exe64", required=True)
    parser.add_argument("--exe32", required=True)
    parser.add_argument("--allow", help="the NT 4.0 export list (nt4)")
    parser.add_argument("--res", help="compiled resources that must match (resources)")
    args = parser.parse_args()
    if args.what == "nt4":
        check_nt4(args.exe32, read_allow_list(args.allow))
    for bits, path in ((64, args.exe64), (32, args.exe32)):
        if args.what == "imports":
            check_imports(path, bits)
        elif args.what == "resources":
            check_resources(path, bits, args.res)
    for failure in failures:
        print("FAIL " + failure, file=sys.stderr)
    print(f"{args.what}: {'FAIL' if failures else 'PASS'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
