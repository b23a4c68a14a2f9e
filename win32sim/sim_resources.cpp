// The program's resources, read from its resource script at first use: the
// string tables and dialog templates of each language, as the resource
// compiler would store them (texts in the ANSI code page, Windows-1252).
//
// The reader knows what the program's scripts use: #define lines, #include
// of other scripts (a header gives its #defines only), LANGUAGE, STRINGTABLE,
// and DIALOG with STYLE, CAPTION, FONT and CONTROL statements. Any other
// resource, such as the version block or the dialogs' initialisation data,
// is skipped.
#include "sim_internal.h"

#include <algorithm>
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
    enum Kind { Word, String, Punct, End } kind; // a Word is a name or a number
    std::string text;                            // for a String, its bytes after escapes
};

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

// UTF-8 (the scripts) to Windows-1252, as the resource compiler and
// LoadStringA do together; characters outside the code page become '?'.
std::string To1252(const std::string &in) {
    std::string out;
    for (size_t i = 0; i < in.size();) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        size_t extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        unsigned code = extra ? c & (0x3F >> extra) : c;
        for (size_t k = 1; k <= extra && i + k < in.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(in[i + k]) & 0x3F);
        i += extra + 1;
        char mapped = code < 0x80 || (code >= 0xA0 && code <= 0xFF) ? char(code) : '?';
        for (unsigned k = 0; k < 32 && mapped == '?' && code >= 0x100; ++k)
            if (cp1252High[k] == code)
                mapped = char(0x80 + k);
        out.push_back(mapped);
    }
    return out;
}

long Number(std::string text) {
    while (!text.empty() && (text.back() == 'L' || text.back() == 'U'))
        text.pop_back();
    return strtol(text.c_str(), nullptr, 0);
}

class Reader {
  public:
    Reader();
    bool Read(const std::string &path, bool definesOnly);
    bool Script();
    std::string error;

  private:
    std::vector<Token> tokens_;
    size_t pos_ = 0;
    std::map<std::string, long> names_; // the #defines and the Windows names the scripts use
    WORD language_ = 0;

    bool Error(const std::string &what);
    const Token &Peek() const;
    Token Next();
    bool Accept(const char *word);
    bool Expect(const char *word);
    bool Value(long *value);
    bool Values(std::vector<long *> values);
    bool Text(std::string *text);
    bool StringTable();
    bool Dialog(int id);
    bool Skip();
};

#define SIM_NAME(x) std::pair<const std::string, long>(#x, x)
Reader::Reader()
    : names_{SIM_NAME(LANG_ENGLISH),     SIM_NAME(SUBLANG_ENGLISH_US),
             SIM_NAME(LANG_FRENCH),      SIM_NAME(SUBLANG_FRENCH),
             SIM_NAME(IDCANCEL),         SIM_NAME(WS_POPUP),
             SIM_NAME(WS_VISIBLE),       SIM_NAME(WS_CAPTION),
             SIM_NAME(WS_SYSMENU),       SIM_NAME(WS_MINIMIZEBOX),
             SIM_NAME(WS_BORDER),        SIM_NAME(WS_VSCROLL),
             SIM_NAME(WS_TABSTOP),       SIM_NAME(WS_GROUP),
             SIM_NAME(DS_MODALFRAME),    SIM_NAME(BS_PUSHBUTTON),
             SIM_NAME(BS_DEFPUSHBUTTON), SIM_NAME(LBS_SORT),
             SIM_NAME(LBS_NOTIFY),       SIM_NAME(LBS_NOINTEGRALHEIGHT),
             SIM_NAME(CBS_DROPDOWNLIST), SIM_NAME(ES_NUMBER),
             SIM_NAME(ES_AUTOHSCROLL),   SIM_NAME(SS_LEFT),
             SIM_NAME(SS_RIGHT)} {}
#undef SIM_NAME

bool Reader::Error(const std::string &what) {
    if (error.empty())
        error = what;
    return false;
}

// Reads one file into tokens, acting on its preprocessor lines on the way.
bool Reader::Read(const std::string &path, bool definesOnly) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return Error("cannot open " + path);
    std::stringstream buffer;
    buffer << file.rdbuf();
    const std::string s = buffer.str();
    bool lineStart = true;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (isspace(c)) {
            lineStart = lineStart || c == '\n';
            ++i;
        } else if (s.compare(i, 2, "/*") == 0) {
            size_t end = s.find("*/", i + 2);
            if (end == std::string::npos)
                return Error(path + ": unterminated comment");
            i = end + 2;
        } else if (s.compare(i, 2, "//") == 0 || (c == '#' && lineStart)) {
            // A comment or a preprocessor line. Only #define of a number and
            // #include of a script or header matter; the others (#pragma
            // code_page, include guards, system headers, whose names are
            // known here already) are ignored.
            size_t end = std::min(s.find('\n', i), s.size());
            std::istringstream line(s.substr(i, end - i));
            std::string word, name, value;
            line >> word >> name >> value;
            i = end;
            if (word == "#define" && !value.empty() &&
                isdigit(static_cast<unsigned char>(value[0])))
                names_[name] = Number(value);
            if (word == "#include" && name.size() > 2 && name[0] == '"') {
                std::string included = name.substr(1, name.size() - 2);
                bool header = included.size() > 2 && included.substr(included.size() - 2) == ".h";
                if (!Read(path.substr(0, path.find_last_of('/') + 1) + included,
                          definesOnly || header))
                    return false;
            }
        } else if (c == '"') {
            std::string raw;
            size_t j = i + 1;
            for (; j < s.size() && s[j] != '\n'; ++j) {
                char next = j + 1 < s.size() ? s[j + 1] : '\0';
                if (s[j] == '"' && next != '"')
                    break;
                if (s[j] == '"' || (s[j] == '\\' && next == '\\')) {
                    ++j; // "" for a quote, \\ for a backslash
                } else if (s[j] == '\\' && (next == 'n' || next == 'r' || next == 't')) {
                    raw.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : '\t');
                    ++j;
                    continue;
                }
                raw.push_back(s[j]);
            }
            if (j >= s.size() || s[j] != '"')
                return Error(path + ": unterminated string");
            i = j + 1;
            if (!definesOnly)
                tokens_.push_back(Token{Token::String, To1252(raw)});
        } else {
            bool word = isalnum(c) || c == '_';
            size_t j = i + 1;
            while (word && j < s.size() &&
                   (isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_'))
                ++j;
            if (!definesOnly)
                tokens_.push_back(Token{word ? Token::Word : Token::Punct, s.substr(i, j - i)});
            i = j;
        }
        if (!isspace(c))
            lineStart = false;
    }
    return true;
}

const Token &Reader::Peek() const {
    static const Token end{Token::End, "the end of the script"};
    return pos_ < tokens_.size() ? tokens_[pos_] : end;
}

Token Reader::Next() {
    Token t = Peek();
    pos_ += pos_ < tokens_.size();
    return t;
}

// Takes the keyword or punctuation `word` when it comes next.
bool Reader::Accept(const char *word) {
    bool found = Peek().kind != Token::String && Peek().text == word;
    pos_ += found;
    return found;
}

bool Reader::Expect(const char *word) {
    return Accept(word) || Error(std::string("expected ") + word + ", found " + Peek().text);
}

// Numbers and names, possibly negated, joined by '|'.
bool Reader::Value(long *value) {
    *value = 0;
    do {
        bool negative = Accept("-");
        Token t = Next();
        bool number = t.kind == Token::Word && isdigit(static_cast<unsigned char>(t.text[0]));
        if (t.kind != Token::Word || (!number && !names_.count(t.text)))
            return Error("expected a value, found " + t.text);
        long term = number ? Number(t.text) : names_[t.text];
        *value |= negative ? -term : term;
    } while (Accept("|"));
    return true;
}

// Values separated by commas.
bool Reader::Values(std::vector<long *> values) {
    for (size_t i = 0; i < values.size(); ++i)
        if ((i > 0 && !Expect(",")) || !Value(values[i]))
            return false;
    return true;
}

bool Reader::Text(std::string *text) {
    Token t = Next();
    *text = t.text;
    return t.kind == Token::String || Error("expected a text, found " + t.text);
}

bool Reader::StringTable() {
    if (!Expect("BEGIN"))
        return false;
    while (!Accept("END")) {
        long id = 0;
        std::string text;
        if (!Value(&id) || !Text(&text))
            return false;
        resources.strings[language_][static_cast<UINT>(id)] = text;
    }
    return true;
}

bool Reader::Dialog(int id) {
    DialogTemplate dialog{id, 0, "", {}};
    long x = 0, y = 0, cx = 0, cy = 0, size = 0, style = 0, implied = 0;
    if (!Values({&x, &y, &cx, &cy}))
        return false;
    while (!Accept("BEGIN")) {
        std::string font;
        bool ok = Accept("STYLE")     ? Value(&style)
                  : Accept("CAPTION") ? Text(&dialog.caption)
                  : Accept("FONT")    ? Value(&size) && Expect(",") && Text(&font)
                                      : Error("unknown dialog statement " + Peek().text);
        if (!ok)
            return false;
        implied |= dialog.caption.empty() ? 0 : WS_CAPTION;
        implied |= font.empty() ? 0 : DS_SETFONT;
    }
    dialog.style = static_cast<DWORD>(style | implied);
    while (!Accept("END")) {
        ControlTemplate control;
        long controlId = 0, controlStyle = 0;
        if (!Expect("CONTROL") || !Text(&control.text) || !Expect(",") || !Value(&controlId) ||
            !Expect(",") || !Text(&control.className) || !Expect(",") || !Value(&controlStyle) ||
            !Expect(",") || !Values({&x, &y, &cx, &cy}))
            return false;
        control.id = static_cast<int>(controlId);
        control.style = static_cast<DWORD>(WS_CHILD | WS_VISIBLE | controlStyle);
        dialog.controls.push_back(control);
    }
    resources.dialogs[language_][id] = dialog;
    return true;
}

// A resource of another type: its header, then its BEGIN ... END block.
bool Reader::Skip() {
    while (!Accept("BEGIN"))
        if (Next().kind == Token::End)
            return Error("resource without data");
    for (int depth = 1; depth > 0;) {
        if (Accept("BEGIN"))
            ++depth;
        else if (Accept("END"))
            --depth;
        else if (Next().kind == Token::End)
            return Error("unterminated BEGIN block");
    }
    return true;
}

bool Reader::Script() {
    while (Peek().kind != Token::End) {
        long primary = 0, sub = 0, id = 0;
        if (Accept("LANGUAGE")) {
            if (!Values({&primary, &sub}))
                return false;
            language_ = static_cast<WORD>(MAKELANGID(primary, sub));
        } else if (Accept("STRINGTABLE")) {
            if (!StringTable())
                return false;
        } else if (Peek().kind == Token::Word && pos_ + 1 < tokens_.size() &&
                   tokens_[pos_ + 1].text == "DIALOG") {
            if (!Value(&id) || !Expect("DIALOG") || !Dialog(static_cast<int>(id)))
                return false;
        } else if (!Skip()) {
            return false;
        }
    }
    return true;
}

void Load() {
    if (resources.loaded)
        return;
    resources.loaded = true;
    Reader reader;
    if (!reader.Read(SIM_RC_FILE, false) || !reader.Script()) {
        resources = Resources();
        resources.loaded = true;
        resources.error = "resource script: " + reader.error;
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
    sim::detail::Api api("LoadStringA");
    (void)hInstance;
    std::string text;
    if (!sim::detail::FindString(uID & 0xFFFF, &text))
        text.clear();
    size_t count = std::min(text.size(), static_cast<size_t>(cchBufferMax - 1));
    memcpy(lpBuffer, text.data(), count);
    lpBuffer[count] = '\0';
    return static_cast<int>(count);
}
