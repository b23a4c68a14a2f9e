// The program's resources, read from its resource script at first use: the
// string tables and dialog templates of each language, as the resource
// compiler would store them (texts in the ANSI code page, Windows-1252).
#include "sim_internal.h"

#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#ifndef SIM_RC_FILE
#error "SIM_RC_FILE must name the program's resource script"
#endif

namespace sim {
namespace detail {
namespace {

struct Token {
    enum Kind { Name, Number, String, Punct, End } kind = End;
    std::string text; // name, punctuation, or the string's bytes after escapes
    long value = 0;
    std::string where;
};

struct Resources {
    bool loaded = false;
    std::string error;
    std::map<WORD, std::map<UINT, std::string>> strings;   // language -> id -> text
    std::map<int, std::map<WORD, DialogTemplate>> dialogs; // id -> language -> template
};

Resources resources;
WORD language = 0x409;
std::map<UINT, std::pair<bool, std::string>> overrides; // id -> (exists, text)

#define SIM_CONSTANT(x)                                                                            \
    { #x, static_cast < long>(x) }
const std::map<std::string, long> &Constants() {
    static const std::map<std::string, long> constants = {
        SIM_CONSTANT(LANG_NEUTRAL),
        SIM_CONSTANT(LANG_ENGLISH),
        SIM_CONSTANT(LANG_FRENCH),
        SIM_CONSTANT(SUBLANG_NEUTRAL),
        SIM_CONSTANT(SUBLANG_DEFAULT),
        SIM_CONSTANT(SUBLANG_SYS_DEFAULT),
        SIM_CONSTANT(SUBLANG_ENGLISH_US),
        SIM_CONSTANT(SUBLANG_ENGLISH_UK),
        SIM_CONSTANT(SUBLANG_FRENCH),
        SIM_CONSTANT(IDOK),
        SIM_CONSTANT(IDCANCEL),
        SIM_CONSTANT(IDABORT),
        SIM_CONSTANT(IDRETRY),
        SIM_CONSTANT(IDIGNORE),
        SIM_CONSTANT(IDYES),
        SIM_CONSTANT(IDNO),
        SIM_CONSTANT(WS_OVERLAPPED),
        SIM_CONSTANT(WS_POPUP),
        SIM_CONSTANT(WS_CHILD),
        SIM_CONSTANT(WS_MINIMIZE),
        SIM_CONSTANT(WS_VISIBLE),
        SIM_CONSTANT(WS_DISABLED),
        SIM_CONSTANT(WS_CLIPSIBLINGS),
        SIM_CONSTANT(WS_CLIPCHILDREN),
        SIM_CONSTANT(WS_MAXIMIZE),
        SIM_CONSTANT(WS_CAPTION),
        SIM_CONSTANT(WS_BORDER),
        SIM_CONSTANT(WS_DLGFRAME),
        SIM_CONSTANT(WS_VSCROLL),
        SIM_CONSTANT(WS_HSCROLL),
        SIM_CONSTANT(WS_SYSMENU),
        SIM_CONSTANT(WS_THICKFRAME),
        SIM_CONSTANT(WS_GROUP),
        SIM_CONSTANT(WS_TABSTOP),
        SIM_CONSTANT(WS_MINIMIZEBOX),
        SIM_CONSTANT(WS_MAXIMIZEBOX),
        SIM_CONSTANT(WS_OVERLAPPEDWINDOW),
        SIM_CONSTANT(WS_POPUPWINDOW),
        SIM_CONSTANT(WS_EX_DLGMODALFRAME),
        SIM_CONSTANT(WS_EX_CONTROLPARENT),
        SIM_CONSTANT(DS_ABSALIGN),
        SIM_CONSTANT(DS_SYSMODAL),
        SIM_CONSTANT(DS_3DLOOK),
        SIM_CONSTANT(DS_FIXEDSYS),
        SIM_CONSTANT(DS_NOFAILCREATE),
        SIM_CONSTANT(DS_LOCALEDIT),
        SIM_CONSTANT(DS_SETFONT),
        SIM_CONSTANT(DS_MODALFRAME),
        SIM_CONSTANT(DS_NOIDLEMSG),
        SIM_CONSTANT(DS_SETFOREGROUND),
        SIM_CONSTANT(DS_CONTROL),
        SIM_CONSTANT(DS_CENTER),
        SIM_CONSTANT(DS_CENTERMOUSE),
        SIM_CONSTANT(DS_CONTEXTHELP),
        SIM_CONSTANT(DS_SHELLFONT),
        SIM_CONSTANT(BS_PUSHBUTTON),
        SIM_CONSTANT(BS_DEFPUSHBUTTON),
        SIM_CONSTANT(BS_CHECKBOX),
        SIM_CONSTANT(BS_AUTOCHECKBOX),
        SIM_CONSTANT(BS_RADIOBUTTON),
        SIM_CONSTANT(BS_3STATE),
        SIM_CONSTANT(BS_AUTO3STATE),
        SIM_CONSTANT(BS_GROUPBOX),
        SIM_CONSTANT(BS_USERBUTTON),
        SIM_CONSTANT(BS_AUTORADIOBUTTON),
        SIM_CONSTANT(BS_OWNERDRAW),
        SIM_CONSTANT(BS_LEFTTEXT),
        SIM_CONSTANT(BS_TEXT),
        SIM_CONSTANT(BS_LEFT),
        SIM_CONSTANT(BS_RIGHT),
        SIM_CONSTANT(BS_CENTER),
        SIM_CONSTANT(BS_TOP),
        SIM_CONSTANT(BS_BOTTOM),
        SIM_CONSTANT(BS_VCENTER),
        SIM_CONSTANT(BS_MULTILINE),
        SIM_CONSTANT(BS_NOTIFY),
        SIM_CONSTANT(BS_FLAT),
        SIM_CONSTANT(LBS_NOTIFY),
        SIM_CONSTANT(LBS_SORT),
        SIM_CONSTANT(LBS_NOREDRAW),
        SIM_CONSTANT(LBS_MULTIPLESEL),
        SIM_CONSTANT(LBS_OWNERDRAWFIXED),
        SIM_CONSTANT(LBS_OWNERDRAWVARIABLE),
        SIM_CONSTANT(LBS_HASSTRINGS),
        SIM_CONSTANT(LBS_USETABSTOPS),
        SIM_CONSTANT(LBS_NOINTEGRALHEIGHT),
        SIM_CONSTANT(LBS_MULTICOLUMN),
        SIM_CONSTANT(LBS_WANTKEYBOARDINPUT),
        SIM_CONSTANT(LBS_EXTENDEDSEL),
        SIM_CONSTANT(LBS_DISABLENOSCROLL),
        SIM_CONSTANT(LBS_NODATA),
        SIM_CONSTANT(LBS_NOSEL),
        SIM_CONSTANT(LBS_STANDARD),
        SIM_CONSTANT(CBS_SIMPLE),
        SIM_CONSTANT(CBS_DROPDOWN),
        SIM_CONSTANT(CBS_DROPDOWNLIST),
        SIM_CONSTANT(CBS_OWNERDRAWFIXED),
        SIM_CONSTANT(CBS_OWNERDRAWVARIABLE),
        SIM_CONSTANT(CBS_AUTOHSCROLL),
        SIM_CONSTANT(CBS_OEMCONVERT),
        SIM_CONSTANT(CBS_SORT),
        SIM_CONSTANT(CBS_HASSTRINGS),
        SIM_CONSTANT(CBS_NOINTEGRALHEIGHT),
        SIM_CONSTANT(CBS_DISABLENOSCROLL),
        SIM_CONSTANT(CBS_UPPERCASE),
        SIM_CONSTANT(CBS_LOWERCASE),
        SIM_CONSTANT(ES_LEFT),
        SIM_CONSTANT(ES_CENTER),
        SIM_CONSTANT(ES_RIGHT),
        SIM_CONSTANT(ES_MULTILINE),
        SIM_CONSTANT(ES_UPPERCASE),
        SIM_CONSTANT(ES_LOWERCASE),
        SIM_CONSTANT(ES_PASSWORD),
        SIM_CONSTANT(ES_AUTOVSCROLL),
        SIM_CONSTANT(ES_AUTOHSCROLL),
        SIM_CONSTANT(ES_NOHIDESEL),
        SIM_CONSTANT(ES_OEMCONVERT),
        SIM_CONSTANT(ES_READONLY),
        SIM_CONSTANT(ES_WANTRETURN),
        SIM_CONSTANT(ES_NUMBER),
        SIM_CONSTANT(SS_LEFT),
        SIM_CONSTANT(SS_CENTER),
        SIM_CONSTANT(SS_RIGHT),
        SIM_CONSTANT(SS_ICON),
        SIM_CONSTANT(SS_BLACKRECT),
        SIM_CONSTANT(SS_GRAYRECT),
        SIM_CONSTANT(SS_WHITERECT),
        SIM_CONSTANT(SS_BLACKFRAME),
        SIM_CONSTANT(SS_GRAYFRAME),
        SIM_CONSTANT(SS_WHITEFRAME),
        SIM_CONSTANT(SS_SIMPLE),
        SIM_CONSTANT(SS_LEFTNOWORDWRAP),
        SIM_CONSTANT(SS_NOPREFIX),
        SIM_CONSTANT(SS_NOTIFY),
        SIM_CONSTANT(SS_CENTERIMAGE),
        SIM_CONSTANT(SS_SUNKEN),
    };
    return constants;
}
#undef SIM_CONSTANT

// Windows-1252 bytes 0x80-0x9F and the characters they stand for.
const unsigned cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Converts UTF-8 to Windows-1252, as the resource compiler (UTF-16 in the
// file) and LoadStringA (to the ANSI code page) do together. Characters
// outside the code page become '?'. False for malformed UTF-8.
bool Utf8To1252(const std::string &in, std::string *out) {
    out->clear();
    for (size_t i = 0; i < in.size();) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        unsigned code;
        size_t extra;
        if (c < 0x80) {
            code = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            code = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            code = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            code = c & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= in.size() + (extra ? 0 : 1) && extra) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(in[i + k]);
            if ((d & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (d & 0x3F);
        }
        i += extra + 1;
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            out->push_back(static_cast<char>(code));
            continue;
        }
        char mapped = '?';
        for (unsigned k = 0; k < 32; ++k) {
            if (cp1252High[k] && cp1252High[k] == code) {
                mapped = static_cast<char>(0x80 + k);
            }
        }
        out->push_back(mapped);
    }
    return true;
}

std::string DirectoryOf(const std::string &path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

class Parser {
  public:
    bool ParseFile(const std::string &path, bool definesOnly);
    bool ParseResources();
    std::string error;

  private:
    std::vector<Token> tokens_;
    size_t pos_ = 0;
    std::map<std::string, std::string> defines_;
    WORD language_ = 0;

    bool Error(const std::string &what, const Token *at = nullptr);
    bool Directive(const std::string &line, const std::string &dir, const std::string &where,
                   bool definesOnly);
    const Token &Peek(size_t ahead = 0) const;
    Token Next();
    bool IsWord(const Token &t, const char *word) const;
    bool Expect(const char *punct);
    bool SkipComma();
    bool Value(long *value, int depth = 0);
    bool Term(long *value, int depth);
    bool Expression(long *set, long *cleared);
    bool NameValue(const std::string &name, long *value, int depth);
    bool Text(std::string *text);
    bool StringTable();
    bool Dialog(int id);
    bool Control(DialogTemplate *dialog);
    bool ShortControl(DialogTemplate *dialog, const std::string &keyword);
    bool SkipBlock();
    bool SkipResource();
};

bool Parser::Error(const std::string &what, const Token *at) {
    if (error.empty()) {
        error = (at ? at->where + ": " : std::string()) + what;
    }
    return false;
}

const Token &Parser::Peek(size_t ahead) const {
    static const Token end;
    return pos_ + ahead < tokens_.size() ? tokens_[pos_ + ahead] : end;
}

Token Parser::Next() {
    Token t = Peek();
    if (pos_ < tokens_.size()) {
        ++pos_;
    }
    return t;
}

bool Parser::IsWord(const Token &t, const char *word) const {
    return t.kind == Token::Name && t.text == word;
}

bool Parser::Expect(const char *punct) {
    Token t = Next();
    if (t.kind != Token::Punct || t.text != punct) {
        return Error(std::string("expected '") + punct + "'", &t);
    }
    return true;
}

bool Parser::SkipComma() {
    if (Peek().kind == Token::Punct && Peek().text == ",") {
        Next();
        return true;
    }
    return false;
}

bool Parser::Directive(const std::string &line, const std::string &dir, const std::string &where,
                       bool definesOnly) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "#") {
        std::string rest;
        in >> rest;
        word = "#" + rest;
    }
    if (word == "#include") {
        std::string file;
        in >> file;
        if (file.size() < 2) {
            return Error("bad #include", nullptr);
        }
        if (file[0] == '<') {
            return true; // system headers: their names are known here already
        }
        std::string name = file.substr(1, file.size() - 2);
        std::string path = dir + "/" + name;
        bool headerOnly = definesOnly || name.size() < 3 || name.substr(name.size() - 2) == ".h";
        return ParseFile(path, headerOnly);
    }
    if (word == "#define") {
        std::string name, value;
        in >> name;
        std::getline(in, value);
        size_t first = value.find_first_not_of(" \t");
        value = first == std::string::npos ? std::string() : value.substr(first);
        while (!value.empty() && isspace(static_cast<unsigned char>(value.back()))) {
            value.pop_back();
        }
        if (!name.empty() && name.find('(') == std::string::npos) {
            defines_[name] = value;
        }
        return true;
    }
    (void)where;
    return true; // #pragma code_page, include guards and the like
}

// Reads one file: preprocessor lines are acted on, the rest becomes tokens
// (header files contribute only their #defines).
bool Parser::ParseFile(const std::string &path, bool definesOnly) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return Error("cannot open " + path);
    }
    std::stringstream buffer;
    buffer << file.rdbuf();
    std::string src = buffer.str();
    // Comments go first, so that they never hide or fake a directive.
    std::string text;
    for (size_t i = 0; i < src.size(); ++i) {
        if (src[i] == '"') {
            size_t j = i + 1;
            while (j < src.size() && src[j] != '\n') {
                if (src[j] == '"') {
                    if (j + 1 < src.size() && src[j + 1] == '"') {
                        j += 2;
                        continue;
                    }
                    break;
                }
                if (src[j] == '\\' && j + 1 < src.size()) {
                    ++j;
                }
                ++j;
            }
            text.append(src, i, j - i + 1);
            i = j;
        } else if (src.compare(i, 2, "/*") == 0) {
            size_t end = src.find("*/", i + 2);
            if (end == std::string::npos) {
                return Error(path + ": unterminated comment");
            }
            for (size_t k = i; k < end + 2; ++k) {
                if (src[k] == '\n') {
                    text.push_back('\n');
                }
            }
            text.push_back(' ');
            i = end + 1;
        } else if (src.compare(i, 2, "//") == 0) {
            while (i < src.size() && src[i] != '\n') {
                ++i;
            }
            if (i < src.size()) {
                text.push_back('\n');
            }
        } else {
            text.push_back(src[i]);
        }
    }
    std::string dir = DirectoryOf(path);
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        std::string where =
            path.substr(path.find_last_of('/') + 1) + ":" + std::to_string(lineNumber);
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) {
            continue;
        }
        if (line[first] == '#') {
            if (!Directive(line.substr(first), dir, where, definesOnly)) {
                return false;
            }
            continue;
        }
        if (definesOnly) {
            continue;
        }
        for (size_t i = first; i < line.size();) {
            unsigned char c = static_cast<unsigned char>(line[i]);
            if (isspace(c)) {
                ++i;
                continue;
            }
            Token t;
            t.where = where;
            if (c == '"') {
                std::string raw;
                size_t j = i + 1;
                bool closed = false;
                while (j < line.size()) {
                    char d = line[j];
                    if (d == '"') {
                        if (j + 1 < line.size() && line[j + 1] == '"') {
                            raw.push_back('"');
                            j += 2;
                            continue;
                        }
                        closed = true;
                        ++j;
                        break;
                    }
                    if (d == '\\' && j + 1 < line.size()) {
                        char e = line[j + 1];
                        j += 2;
                        switch (e) {
                        case 'n':
                            raw.push_back('\n');
                            break;
                        case 'r':
                            raw.push_back('\r');
                            break;
                        case 't':
                            raw.push_back('\t');
                            break;
                        case 'a':
                            raw.push_back('\a');
                            break;
                        case '\\':
                            raw.push_back('\\');
                            break;
                        case '"':
                            raw.push_back('"');
                            break;
                        default:
                            raw.push_back('\\');
                            raw.push_back(e);
                            break;
                        }
                        continue;
                    }
                    raw.push_back(d);
                    ++j;
                }
                if (!closed) {
                    return Error("unterminated string", &t);
                }
                t.kind = Token::String;
                if (!Utf8To1252(raw, &t.text)) {
                    return Error("text is not UTF-8", &t);
                }
                i = j;
            } else if (isdigit(c)) {
                size_t j = i;
                while (j < line.size() && isalnum(static_cast<unsigned char>(line[j]))) {
                    ++j;
                }
                std::string number = line.substr(i, j - i);
                while (!number.empty() && (number.back() == 'L' || number.back() == 'l' ||
                                           number.back() == 'U' || number.back() == 'u')) {
                    number.pop_back();
                }
                char *end = nullptr;
                t.kind = Token::Number;
                t.value = static_cast<long>(strtoul(number.c_str(), &end, 0));
                if (!end || *end) {
                    return Error("bad number " + number, &t);
                }
                t.text = number;
                i = j;
            } else if (isalpha(c) || c == '_') {
                size_t j = i;
                while (j < line.size() &&
                       (isalnum(static_cast<unsigned char>(line[j])) || line[j] == '_')) {
                    ++j;
                }
                t.kind = Token::Name;
                t.text = line.substr(i, j - i);
                i = j;
            } else {
                t.kind = Token::Punct;
                t.text = std::string(1, static_cast<char>(c));
                ++i;
            }
            tokens_.push_back(t);
        }
    }
    return true;
}

bool Parser::NameValue(const std::string &name, long *value, int depth) {
    auto known = Constants().find(name);
    if (known != Constants().end()) {
        *value = known->second;
        return true;
    }
    auto defined = defines_.find(name);
    if (defined == defines_.end() || depth > 16) {
        return Error("unknown name " + name, &Peek());
    }
    // A #define's value is itself a small expression: tokenise it on the spot.
    std::string text = defined->second;
    std::vector<Token> saved;
    saved.swap(tokens_);
    size_t savedPos = pos_;
    pos_ = 0;
    std::istringstream in(text);
    char c;
    while (in >> std::ws && in.get(c)) {
        Token t;
        if (isdigit(static_cast<unsigned char>(c))) {
            std::string number(1, c);
            while (in.peek() != EOF && isalnum(in.peek())) {
                number.push_back(static_cast<char>(in.get()));
            }
            while (!number.empty() && (number.back() == 'L' || number.back() == 'U')) {
                number.pop_back();
            }
            t.kind = Token::Number;
            t.value = static_cast<long>(strtoul(number.c_str(), nullptr, 0));
        } else if (isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::string word(1, c);
            while (in.peek() != EOF && (isalnum(in.peek()) || in.peek() == '_')) {
                word.push_back(static_cast<char>(in.get()));
            }
            t.kind = Token::Name;
            t.text = word;
        } else {
            t.kind = Token::Punct;
            t.text = std::string(1, c);
        }
        tokens_.push_back(t);
    }
    bool ok = Value(value, depth + 1) && Peek().kind == Token::End;
    tokens_.swap(saved);
    pos_ = savedPos;
    if (!ok) {
        return Error("cannot evaluate #define " + name);
    }
    return true;
}

bool Parser::Term(long *value, int depth) {
    Token t = Next();
    if (t.kind == Token::Number) {
        *value = t.value;
        return true;
    }
    if (t.kind == Token::Punct && t.text == "-") {
        long inner = 0;
        if (!Term(&inner, depth)) {
            return false;
        }
        *value = -inner;
        return true;
    }
    if (t.kind == Token::Punct && t.text == "~") {
        long inner = 0;
        if (!Term(&inner, depth)) {
            return false;
        }
        *value = ~inner;
        return true;
    }
    if (t.kind == Token::Punct && t.text == "(") {
        if (!Value(value, depth)) {
            return false;
        }
        return Expect(")");
    }
    if (t.kind == Token::Name) {
        return NameValue(t.text, value, depth);
    }
    return Error("expected a number or a name", &t);
}

// A value: terms joined by '|' or '+'.
bool Parser::Value(long *value, int depth) {
    if (!Term(value, depth)) {
        return false;
    }
    while (Peek().kind == Token::Punct && (Peek().text == "|" || Peek().text == "+")) {
        std::string op = Next().text;
        long next = 0;
        if (!Term(&next, depth)) {
            return false;
        }
        *value = op == "|" ? (*value | next) : (*value + next);
    }
    return true;
}

// A style: values joined by '|', where "NOT x" clears bits.
bool Parser::Expression(long *set, long *cleared) {
    *set = 0;
    *cleared = 0;
    for (;;) {
        bool negate = false;
        if (IsWord(Peek(), "NOT")) {
            Next();
            negate = true;
        }
        long term = 0;
        if (!Term(&term, 0)) {
            return false;
        }
        if (negate) {
            *cleared |= term;
            *set &= ~term;
        } else {
            *set |= term;
        }
        if (!(Peek().kind == Token::Punct && Peek().text == "|")) {
            return true;
        }
        Next();
    }
}

bool Parser::Text(std::string *text) {
    Token t = Next();
    if (t.kind != Token::String) {
        return Error("expected a text", &t);
    }
    *text = t.text;
    return true;
}

bool Parser::StringTable() {
    while (!IsWord(Peek(), "BEGIN") && !(Peek().kind == Token::Punct && Peek().text == "{")) {
        if (Peek().kind == Token::End) {
            return Error("STRINGTABLE without BEGIN");
        }
        Next(); // memory options
    }
    Next();
    for (;;) {
        const Token &t = Peek();
        if (IsWord(t, "END") || (t.kind == Token::Punct && t.text == "}")) {
            Next();
            return true;
        }
        long id = 0;
        if (!Value(&id)) {
            return false;
        }
        SkipComma();
        std::string text;
        if (!Text(&text)) {
            return false;
        }
        // Adjacent literals are joined, as the resource compiler does.
        while (Peek().kind == Token::String) {
            text += Next().text;
        }
        std::map<UINT, std::string> &table = resources.strings[language_];
        if (table.count(static_cast<UINT>(id))) {
            return Error("string " + std::to_string(id) + " defined twice", &t);
        }
        table[static_cast<UINT>(id)] = text;
    }
}

bool Parser::Control(DialogTemplate *dialog) {
    ControlTemplate control;
    if (Peek().kind == Token::String) {
        control.text = Next().text;
    } else {
        long iconId = 0; // an icon or bitmap named by number
        if (!Value(&iconId)) {
            return false;
        }
    }
    long id = 0, set = 0, cleared = 0, x = 0, y = 0, cx = 0, cy = 0;
    if (!Expect(",") || !Value(&id) || !Expect(",")) {
        return false;
    }
    Token cls = Next();
    if (cls.kind == Token::String) {
        control.className = cls.text;
    } else if (cls.kind == Token::Name) {
        static const std::map<std::string, std::string> classes = {
            {"BUTTON", "Button"},   {"EDIT", "Edit"},         {"STATIC", "Static"},
            {"LISTBOX", "ListBox"}, {"COMBOBOX", "ComboBox"}, {"SCROLLBAR", "ScrollBar"},
        };
        auto it = classes.find(cls.text);
        if (it == classes.end()) {
            return Error("unknown control class " + cls.text, &cls);
        }
        control.className = it->second;
    } else {
        return Error("expected a control class", &cls);
    }
    if (!Expect(",") || !Expression(&set, &cleared) || !Expect(",") || !Value(&x) || !Expect(",") ||
        !Value(&y) || !Expect(",") || !Value(&cx) || !Expect(",") || !Value(&cy)) {
        return false;
    }
    if (SkipComma()) {
        long ex = 0;
        if (!Value(&ex)) {
            return false;
        }
        control.exStyle = static_cast<DWORD>(ex);
    }
    control.id = static_cast<int>(static_cast<short>(id));
    control.style = static_cast<DWORD>(((WS_CHILD | WS_VISIBLE) | set) & ~cleared);
    control.x = static_cast<int>(x);
    control.y = static_cast<int>(y);
    control.cx = static_cast<int>(cx);
    control.cy = static_cast<int>(cy);
    dialog->controls.push_back(control);
    return true;
}

// The short forms of the resource language (PUSHBUTTON, LTEXT, EDITTEXT...).
bool Parser::ShortControl(DialogTemplate *dialog, const std::string &keyword) {
    struct Form {
        const char *className;
        long style;
        bool hasText;
    };
    static const std::map<std::string, Form> forms = {
        {"PUSHBUTTON", {"Button", BS_PUSHBUTTON | WS_TABSTOP, true}},
        {"DEFPUSHBUTTON", {"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, true}},
        {"CHECKBOX", {"Button", BS_CHECKBOX | WS_TABSTOP, true}},
        {"AUTOCHECKBOX", {"Button", BS_AUTOCHECKBOX | WS_TABSTOP, true}},
        {"RADIOBUTTON", {"Button", BS_RADIOBUTTON, true}},
        {"AUTORADIOBUTTON", {"Button", BS_AUTORADIOBUTTON, true}},
        {"GROUPBOX", {"Button", BS_GROUPBOX, true}},
        {"LTEXT", {"Static", SS_LEFT | WS_GROUP, true}},
        {"RTEXT", {"Static", SS_RIGHT | WS_GROUP, true}},
        {"CTEXT", {"Static", SS_CENTER | WS_GROUP, true}},
        {"EDITTEXT", {"Edit", ES_LEFT | WS_BORDER | WS_TABSTOP, false}},
        {"LISTBOX", {"ListBox", LBS_NOTIFY | WS_BORDER, false}},
        {"COMBOBOX", {"ComboBox", CBS_SIMPLE | WS_TABSTOP, false}},
    };
    auto form = forms.find(keyword);
    if (form == forms.end()) {
        return Error("unknown dialog statement " + keyword, &Peek());
    }
    ControlTemplate control;
    control.className = form->second.className;
    if (form->second.hasText) {
        if (!Text(&control.text) || !Expect(",")) {
            return false;
        }
    }
    long id = 0, x = 0, y = 0, cx = 0, cy = 0, set = 0, cleared = 0;
    if (!Value(&id) || !Expect(",") || !Value(&x) || !Expect(",") || !Value(&y) || !Expect(",") ||
        !Value(&cx) || !Expect(",") || !Value(&cy)) {
        return false;
    }
    if (SkipComma()) {
        if (!Expression(&set, &cleared)) {
            return false;
        }
        if (SkipComma()) {
            long ex = 0;
            if (!Value(&ex)) {
                return false;
            }
            control.exStyle = static_cast<DWORD>(ex);
        }
    }
    control.id = static_cast<int>(static_cast<short>(id));
    control.style =
        static_cast<DWORD>(((WS_CHILD | WS_VISIBLE | form->second.style) | set) & ~cleared);
    control.x = static_cast<int>(x);
    control.y = static_cast<int>(y);
    control.cx = static_cast<int>(cx);
    control.cy = static_cast<int>(cy);
    dialog->controls.push_back(control);
    return true;
}

bool Parser::Dialog(int id) {
    DialogTemplate dialog;
    dialog.id = id;
    dialog.language = language_;
    while (Peek().kind == Token::Name && !IsWord(Peek(), "BEGIN")) {
        Next(); // memory options such as DISCARDABLE
    }
    long x = 0, y = 0, cx = 0, cy = 0;
    if (!Value(&x) || !Expect(",") || !Value(&y) || !Expect(",") || !Value(&cx) || !Expect(",") ||
        !Value(&cy)) {
        return false;
    }
    if (SkipComma()) {
        long help = 0; // DIALOGEX help ID
        if (!Value(&help)) {
            return false;
        }
    }
    dialog.x = static_cast<int>(x);
    dialog.y = static_cast<int>(y);
    dialog.cx = static_cast<int>(cx);
    dialog.cy = static_cast<int>(cy);
    bool haveStyle = false, haveCaption = false, haveFont = false;
    long styleSet = 0, styleCleared = 0;
    for (;;) {
        Token t = Next();
        if (IsWord(t, "BEGIN") || (t.kind == Token::Punct && t.text == "{")) {
            break;
        }
        if (IsWord(t, "STYLE")) {
            if (!Expression(&styleSet, &styleCleared)) {
                return false;
            }
            haveStyle = true;
        } else if (IsWord(t, "EXSTYLE")) {
            long set = 0, cleared = 0;
            if (!Expression(&set, &cleared)) {
                return false;
            }
            dialog.exStyle = static_cast<DWORD>(set);
        } else if (IsWord(t, "CAPTION")) {
            if (!Text(&dialog.caption)) {
                return false;
            }
            haveCaption = true;
        } else if (IsWord(t, "FONT")) {
            long size = 0;
            if (!Value(&size) || !Expect(",") || !Text(&dialog.fontName)) {
                return false;
            }
            while (SkipComma()) {
                long ignored = 0;
                if (!Value(&ignored)) {
                    return false;
                }
            }
            dialog.pointSize = static_cast<int>(size);
            haveFont = true;
        } else if (IsWord(t, "LANGUAGE")) {
            long primary = 0, sub = 0;
            if (!Value(&primary) || !Expect(",") || !Value(&sub)) {
                return false;
            }
            dialog.language = static_cast<WORD>(MAKELANGID(primary, sub));
        } else if (IsWord(t, "CHARACTERISTICS") || IsWord(t, "VERSION")) {
            long ignored = 0;
            if (!Value(&ignored)) {
                return false;
            }
        } else {
            return Error("unsupported dialog option " + t.text, &t);
        }
    }
    long style = haveStyle ? styleSet : static_cast<long>(WS_POPUP | WS_BORDER | WS_SYSMENU);
    if (haveCaption) {
        style |= WS_CAPTION;
    }
    if (haveFont) {
        style |= DS_SETFONT;
    }
    dialog.style = static_cast<DWORD>(style & ~styleCleared);
    for (;;) {
        Token t = Next();
        if (IsWord(t, "END") || (t.kind == Token::Punct && t.text == "}")) {
            break;
        }
        if (t.kind != Token::Name) {
            return Error("expected a control statement", &t);
        }
        bool ok = t.text == "CONTROL" ? Control(&dialog) : ShortControl(&dialog, t.text);
        if (!ok) {
            return false;
        }
    }
    if (resources.dialogs[id].count(dialog.language)) {
        return Error("dialog " + std::to_string(id) + " defined twice in one language");
    }
    resources.dialogs[id][dialog.language] = dialog;
    return true;
}

bool Parser::SkipBlock() {
    int depth = 1;
    while (depth > 0) {
        Token t = Next();
        if (t.kind == Token::End) {
            return Error("unterminated BEGIN block");
        }
        if (IsWord(t, "BEGIN") || (t.kind == Token::Punct && t.text == "{")) {
            ++depth;
        } else if (IsWord(t, "END") || (t.kind == Token::Punct && t.text == "}")) {
            --depth;
        }
    }
    return true;
}

// Any other resource (version block, custom data, icons): skipped.
bool Parser::SkipResource() {
    for (;;) {
        Token t = Next();
        if (t.kind == Token::End) {
            return Error("resource without data");
        }
        if (t.kind == Token::String) {
            return true; // a file name
        }
        if (IsWord(t, "BEGIN") || (t.kind == Token::Punct && t.text == "{")) {
            return SkipBlock();
        }
    }
}

bool Parser::ParseResources() {
    while (Peek().kind != Token::End) {
        Token t = Peek();
        if (IsWord(t, "LANGUAGE")) {
            Next();
            long primary = 0, sub = 0;
            if (!Value(&primary) || !Expect(",") || !Value(&sub)) {
                return false;
            }
            language_ = static_cast<WORD>(MAKELANGID(primary, sub));
            continue;
        }
        if (IsWord(t, "STRINGTABLE")) {
            Next();
            if (!StringTable()) {
                return false;
            }
            continue;
        }
        // name TYPE ...
        long id = -1;
        bool numeric = true;
        if (t.kind == Token::Name && (defines_.count(t.text) || Constants().count(t.text))) {
            if (!Value(&id)) {
                return false;
            }
        } else if (t.kind == Token::Number) {
            id = Next().value;
        } else if (t.kind == Token::Name || t.kind == Token::String) {
            Next();
            numeric = false;
        } else {
            return Error("unexpected '" + t.text + "'", &t);
        }
        Token type = Next();
        if (numeric && (IsWord(type, "DIALOG") || IsWord(type, "DIALOGEX"))) {
            if (!Dialog(static_cast<int>(id))) {
                return false;
            }
        } else if (!SkipResource()) {
            return false;
        }
    }
    return true;
}

void Load() {
    if (resources.loaded) {
        return;
    }
    resources.loaded = true;
    Parser parser;
    if (!parser.ParseFile(SIM_RC_FILE, false) || !parser.ParseResources()) {
        resources.error = "resource script: " + parser.error;
        resources.strings.clear();
        resources.dialogs.clear();
    }
}

// The language whose resources the loader picks among those present: the
// thread's language, then the same primary language, then US English, then
// the neutral language, then the first one.
template <typename Map> typename Map::const_iterator PickLanguage(const Map &byLanguage) {
    auto it = byLanguage.find(language);
    if (it != byLanguage.end()) {
        return it;
    }
    for (it = byLanguage.begin(); it != byLanguage.end(); ++it) {
        if (PRIMARYLANGID(it->first) == PRIMARYLANGID(language)) {
            return it;
        }
    }
    it = byLanguage.find(0x409);
    if (it != byLanguage.end()) {
        return it;
    }
    it = byLanguage.find(0);
    if (it != byLanguage.end()) {
        return it;
    }
    return byLanguage.begin();
}

} // namespace

void ResetResources() {
    language = 0x409;
    overrides.clear();
}

WORD Language() {
    return language;
}

const DialogTemplate *FindDialog(int id) {
    Load();
    if (!resources.error.empty()) {
        Fail(resources.error);
        return nullptr;
    }
    auto it = resources.dialogs.find(id);
    if (it == resources.dialogs.end() || it->second.empty()) {
        return nullptr;
    }
    return &PickLanguage(it->second)->second;
}

bool FindString(UINT id, std::string *text) {
    auto over = overrides.find(id);
    if (over != overrides.end()) {
        *text = over->second.second;
        return over->second.first;
    }
    Load();
    if (!resources.error.empty()) {
        Fail(resources.error);
        return false;
    }
    // Strings are stored in blocks of 16 per language: the loader picks the
    // block's language first, then looks for the string in it.
    std::map<WORD, std::map<UINT, std::string>> blocks;
    for (const auto &table : resources.strings) {
        for (const auto &entry : table.second) {
            if (entry.first / 16 == id / 16) {
                blocks[table.first];
                break;
            }
        }
    }
    if (blocks.empty()) {
        return false;
    }
    WORD chosen = PickLanguage(blocks)->first;
    const std::map<UINT, std::string> &table = resources.strings[chosen];
    auto it = table.find(id);
    if (it == table.end()) {
        return false;
    }
    *text = it->second;
    return true;
}

} // namespace detail

void SetLanguage(WORD languageId) {
    detail::language = languageId;
}

void OverrideString(WORD id, const char *textOrNull) {
    detail::overrides[id] = textOrNull ? std::make_pair(true, std::string(textOrNull))
                                       : std::make_pair(false, std::string());
}

} // namespace sim

extern "C" int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    sim::detail::Api api("LoadStringA");
    (void)hInstance;
    if (!lpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (cchBufferMax <= 0) {
        return cchBufferMax == 0 ? -1 : 0;
    }
    std::string text;
    if (!sim::detail::FindString(uID & 0xFFFF, &text)) {
        lpBuffer[0] = '\0';
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    size_t count = text.size();
    if (count > static_cast<size_t>(cchBufferMax - 1)) {
        count = static_cast<size_t>(cchBufferMax - 1);
    }
    memcpy(lpBuffer, text.data(), count);
    lpBuffer[count] = '\0';
    return static_cast<int>(count);
}
