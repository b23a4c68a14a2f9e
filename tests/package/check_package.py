"""The release zip as scripts/package.sh makes it from the programs under
test: its name and SHA256SUMS, its exact file list, programs of the right
machine type, Windows text files that Notepad shows without wrapping, and
`cmake --install` laying out the same files.

    check_package.py --version X.Y.Z.W --work DIR
with CARDINST_EXE64 and CARDINST_EXE32 naming the programs.
"""

import argparse
import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import zipfile

import pefile

ROOT = pathlib.Path(__file__).resolve().parents[2]

# What the zip holds: each entry, what it must be, and for a program the
# machine type of its PE header and the build it comes from.
EXE, TEXT, FRENCH = "exe", "text", "french text"
ENTRIES = {
    "x86/cardinst.exe": (EXE, 0x14C, "CARDINST_EXE32"),
    "x64/cardinst.exe": (EXE, 0x8664, "CARDINST_EXE64"),
    "guide-en.txt": (TEXT, None, None),
    "guide-fr.txt": (FRENCH, None, None),
    "LICENSE": (TEXT, None, None),
}
# Notepad on Windows NT 4.0 does not wrap lines by default; maximised on a
# 640x480 screen it shows about 78 columns.
COLUMNS = 78

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def check_exe(name, data, machine, build):
    try:
        found = pefile.PE(data=data, fast_load=True).FILE_HEADER.Machine
    except pefile.PEFormatError:
        found = None
    check(found == machine, f"{name}: PE machine {found!r}, expected {machine:#x}")
    with open(os.environ[build], "rb") as f:
        check(f.read() == data, f"{name} differs from {os.environ[build]}")


def check_text(name, data, french):
    lines = data.split(b"\r\n")
    check(data.endswith(b"\r\n"), f"{name}: does not end with CR LF")
    check(all(b"\n" not in line and b"\r" not in line for line in lines),
          f"{name}: a line ends otherwise than with CR LF")
    try:
        data.decode("cp1252")
    except UnicodeDecodeError as error:
        check(False, f"{name}: not Windows-1252: {error}")
    check(b"![" not in data and b"```" not in data, f"{name}: Markdown marks left in")
    wide = [number for number, line in enumerate(lines, 1) if len(line) > COLUMNS]
    check(not wide, f"{name}: lines wider than {COLUMNS} columns: {wide}")
    if french:
        check(b"\xe9" in data, f"{name}: no \u00e9 in Windows-1252 (0xE9)")
        try:
            data.decode("utf-8")
            check(False, f"{name}: reads as UTF-8")
        except UnicodeDecodeError:
            pass


def run(command, **kwargs):
    result = subprocess.run(command, stdout=subprocess.PIPE, text=True, **kwargs)
    if result.returncode != 0:
        sys.exit(f"{' '.join(map(str, command))} failed with status {result.returncode}")
    return result.stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True)
    parser.add_argument("--work", required=True, type=pathlib.Path)
    args = parser.parse_args()
    tree = args.work / "tree"
    installed = args.work / "install"
    shutil.rmtree(args.work, ignore_errors=True)

    env = dict(os.environ, CARDINST_PACKAGE_DIR=str(tree))
    output = run(["bash", ROOT / "scripts/package.sh"], env=env, cwd=args.work.parent)
    zip_path = pathlib.Path(output.splitlines()[-1])
    expected_name = f"cardinst-{args.version}-windows.zip"
    check(zip_path.name == expected_name, f"zip named {zip_path.name}, expected {expected_name}")
    if not check(zip_path.is_file(), f"no zip at {zip_path}"):
        return

    sums = (zip_path.parent / "SHA256SUMS").read_text()
    digest = hashlib.sha256(zip_path.read_bytes()).hexdigest()
    check(sums == f"{digest}  {zip_path.name}\n", f"SHA256SUMS does not match the zip: {sums!r}")

    with zipfile.ZipFile(zip_path) as archive:
        check(archive.testzip() is None, "a zip entry fails its CRC")
        names = archive.namelist()
        files = sorted(n for n in names if not n.endswith("/"))
        folders = {n for n in names if n.endswith("/")}
        check(files == sorted(ENTRIES), f"zip files {files}, expected {sorted(ENTRIES)}")
        check(folders <= {"x86/", "x64/"}, f"unexpected folders in the zip: {sorted(folders)}")
        zipped = {name: archive.read(name) for name in files if name in ENTRIES}
    for name, data in zipped.items():
        kind, machine, build = ENTRIES[name]
        if kind == EXE:
            check_exe(name, data, machine, build)
        else:
            check_text(name, data, kind == FRENCH)

    run(["cmake", "--install", tree, "--prefix", installed], stderr=subprocess.STDOUT)
    laid_out = {p.relative_to(installed).as_posix(): p.read_bytes()
                for p in installed.rglob("*") if p.is_file()}
    check(sorted(laid_out) == sorted(zipped), f"cmake --install laid out {sorted(laid_out)}")
    for name in set(laid_out) & set(zipped):
        check(laid_out[name] == zipped[name], f"installed {name} differs from the zipped one")


if __name__ == "__main__":
    main()
    for failure in failures:
        print("FAIL:", failure, file=sys.stderr)
    print("package.contents:", "FAIL" if failures else "PASS")
    sys.exit(1 if failures else 0)
