// The program's resources, read at first use from the .res file that the
// build compiles with windres from the program's own resource script: the
// string tables and dialog templates of each language, in the binary layout
// that Windows reads from the executable. Texts are stored in UTF-16 and
// reach the program in the ANSI code page, Windows-1252, as LoadStringA and
// the "A" dialog functions give them there. Other resource types (version
// block, manifest, the dialogs' initialisation data) are skipped.
#include "sim_internal.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include <strings.h>

#ifndef SIM_RES_FILE
#error "SIM_RES_FILE must name the program's compiled resources"
#endif

namespace sim {
namespace detail {
namespace {

struct Resources {
    bool loaded = false;
    std::string error;
    std::map<WORD, std::map<UINT, std::string>> strings;   // language -> id -> text
    std::map<WORD, std::map<int, DialogTemplate>> dialogs; // language -> id -> template
};

Resources resources;
WORD language = 0x409;
std::map<UINT, std::pair<bool, std::string>> overrides; // id -> (exists, text)

// Windows-1252 bytes 0x80-0x9F and the characters they stand for.
const unsigned cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// One UTF-16 unit in Windows-1252; what the code page lacks becomes '?',
// its default character.
char To1252(unsigned unit) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return static_cast<char>(unit);
    for (unsigned k = 0; k < 32; ++k)
        if (unit >= 0x100 && cp1252High[k] == unit)
            return static_cast<char>(0x80 + k);
    return '?';
}

// A cursor over little-endian data. Reading past the end sets `bad` and
// gives zeros, so that callers check once at the end of a record.
struct Cursor {
    const std::string &data;
    size_t pos;
    size_t end;
    bool bad = false;

    WORD Word() {
        if (pos + 2 > end) {
            bad = true;
            pos = end;
            return 0;
        }
        WORD w = static_cast<WORD>(static_cast<unsigned char>(data[pos]) |
                                   static_cast<unsigned char>(data[pos + 1]) << 8);
        pos += 2;
        return w;
    }
    DWORD Dword() {
        DWORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }
    // Aligns to 4 bytes counted from `base`.
    void Align(size_t base) {
        pos = std::min(end, base + ((pos - base + 3) & ~size_t(3)));
    }
    // A zero-terminated UTF-16 text, in Windows-1252.
    std::string Text() {
        std::string text;
        for (WORD unit; (unit = Word()) != 0 && !bad;)
            text.push_back(To1252(unit));
        return text;
    }
    // A name or a number: 0xFFFF then the number, or a text. A number is
    // given as "#n", as FindResource spells one.
    std::string NameOrNumber() {
        if (pos + 2 <= end && data[pos] == '\xFF' && data[pos + 1] == '\xFF') {
            pos += 2;
            return "#" + std::to_string(Word());
        }
        return Text();
    }
};

// The predefined window classes, as Windows registers them. A template names
// one by atom or by text in any case (windres writes "BUTTON").
std::string ClassName(const std::string &name) {
    static const char *const classes[][2] = {{"#128", "Button"},    {"#129", "Edit"},
                                             {"#130", "Static"},    {"#131", "ListBox"},
                                             {"#132", "ScrollBar"}, {"#133", "ComboBox"}};
    for (const auto &c : classes)
        if (name == c[0] || strcasecmp(name.c_str(), c[1]) == 0)
            return c[1];
    return name;
}

// A string block: 16 counted UTF-16 strings, ids (block - 1) * 16 onward. An
// empty string is no string.
bool ReadStrings(Cursor c, int block, WORD lang) {
    for (UINT id = (block - 1) * 16; id < static_cast<UINT>(block) * 16; ++id) {
        std::string text;
        for (WORD length = c.Word(); length > 0 && !c.bad; --length)
            text.push_back(To1252(c.Word()));
        if (!text.empty())
            resources.strings[lang][id] = text;
    }
    return !c.bad;
}

// A DLGTEMPLATE and its DLGITEMTEMPLATEs, each item aligned on 4 bytes.
bool ReadDialog(Cursor c, int id, WORD lang) {
    const size_t base = c.pos;
    DialogTemplate dialog{id, c.Dword(), "", {}};
    if (dialog.style == 0xFFFF0001)
        return false; // DIALOGEX, which the program's scripts do not use
    c.Dword();        // extended style
    WORD count = c.Word();
    c.pos += 4 * 2;   // x, y, cx, cy
    c.NameOrNumber(); // menu
    c.NameOrNumber(); // window class
    dialog.caption = c.Text();
    if (dialog.style & DS_SETFONT) {
        c.Word(); // point size
        c.Text(); // typeface
    }
    for (WORD k = 0; k < count && !c.bad; ++k) {
        c.Align(base);
        ControlTemplate control;
        control.style = c.Dword();
        c.Dword();      // extended style
        c.pos += 4 * 2; // x, y, cx, cy
        control.id = static_cast<short>(c.Word());
        control.className = ClassName(c.NameOrNumber());
        control.text = c.NameOrNumber();
        c.pos += c.Word(); // creation data
        dialog.controls.push_back(control);
    }
    if (c.bad || c.pos > c.end)
        return false;
    resources.dialogs[lang][id] = dialog;
    return true;
}

// The .res file: resource headers, each followed by its data, both padded to
// 4 bytes. The file starts with an empty resource.
bool ReadRes(const std::string &data) {
    for (size_t pos = 0; pos < data.size();) {
        Cursor header{data, pos, data.size()};
        DWORD dataSize = header.Dword();
        DWORD headerSize = header.Dword();
        std::string type = header.NameOrNumber();
        std::string name = header.NameOrNumber();
        header.Align(pos);
        header.Dword(); // data version
        header.Word();  // memory flags
        WORD lang = header.Word();
        size_t start = pos + headerSize;
        if (header.bad || headerSize < 32 || start + dataSize > data.size())
            return false;
        Cursor body{data, start, start + dataSize};
        int id = name[0] == '#' ? atoi(name.c_str() + 1) : 0;
        if (type == "#6" && id && !ReadStrings(body, id, lang))
            return false;
        if (type == "#5" && id && !ReadDialog(body, id, lang))
            return false;
        pos = (start + dataSize + 3) & ~size_t(3);
    }
    return true;
}

void Load() {
    if (resources.loaded)
        return;
    resources.loaded = true;
    std::ifstream file(SIM_RES_FILE, std::ios::binary);
    std::stringstream data;
    data << file.rdbuf();
    if (!file || !ReadRes(data.str())) {
        resources = Resources();
        resources.loaded = true;
        resources.error = std::string("cannot read the resources in ") + SIM_RES_FILE;
    }
}

// The table of the current language, or of US English when it has none.
template <typename Table> const Table *InLanguage(const std::map<WORD, Table> &byLanguage) {
    Load();
    if (!resources.error.empty())
        Fail(resources.error);
    auto it = byLanguage.find(language);
    if (it == byLanguage.end())
        it = byLanguage.find(0x409);
    return it == byLanguage.end() ? nullptr : &it->second;
}

} // namespace

void ResetResources() {
    language = 0x409;
    overrides.clear();
}

const DialogTemplate *FindDialog(int id) {
    const std::map<int, DialogTemplate> *table = InLanguage(resources.dialogs);
    return table && table->count(id) ? &table->at(id) : nullptr;
}

bool FindString(UINT id, std::string *text) {
    auto over = overrides.find(id);
    if (over != overrides.end()) {
        *text = over->second.second;
        return over->second.first;
    }
    const std::map<UINT, std::string> *table = InLanguage(resources.strings);
    if (!table || !table->count(id))
        return false;
    *text = table->at(id);
    return true;
}

} // namespace detail

void SetLanguage(WORD languageId) {
    detail::language = languageId;
}

void OverrideString(WORD id, const char *textOrNull) {
    detail::overrides[id] = {textOrNull != nullptr, textOrNull ? textOrNull : ""};
}

} // namespace sim

// A missing string reads as an empty one; a long one is cut to the buffer.
extern "C" int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    sim::detail::Api api(sim::detail::Fn::LoadStringA_);
    (void)hInstance;
    std::string text;
    if (!sim::detail::FindString(uID & 0xFFFF, &text))
        text.clear();
    size_t count = std::min(text.size(), static_cast<size_t>(cchBufferMax - 1));
    memcpy(lpBuffer, text.data(), count);
    lpBuffer[count] = '\0';
    return static_cast<int>(count);
}
