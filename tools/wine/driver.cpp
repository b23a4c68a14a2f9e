// cardinst-driver: operates cardinst.exe through window messages under Wine.
//
// It reads a script from standard input, one command per line, prints one
// result line per command on standard output and exits with 1 at the first
// failed expectation or time limit, after printing "FAIL line N: why".
// Texts are printed and compared in UTF-8; the program's own texts are ANSI
// and reach the driver converted by the system. Words are separated by
// blanks; a word in double quotes may hold blanks and the escapes \n, \t,
// \" and \\. In expected box texts, {sys:N} stands for the system's text
// for error code N (trailing CR/LF removed), which must not be empty.
//
// A control <id> is named as in the program's resource.h (IDC_ADD), IDOK,
// IDCANCEL, IDC_STATIC (a label) or given by its number. kCommands, at the
// end, lists the commands.
#ifndef UNICODE
#define UNICODE // the driver talks to the system in UTF-16 only
#endif
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

using Words = std::vector<std::string>;

// The limit of every wait for something the program is expected to do (a
// window, a box, an answer, a value, its end): long enough for a loaded
// machine, where an emulated program may stay away from its message loop
// for seconds. Only waits that expect nothing to happen (no-box) are short.
const DWORD kDefaultWait = 60000;
const DWORD kPoll = 50;
const int kMessageBoxIcon = 1088;
const int kMessageBoxText = 0xFFFF;

PROCESS_INFORMATION child = {};
HWND current = nullptr;    // the dialog that control commands act on
HWND mainWindow = nullptr; // the first window found with the card list
int lineNumber = 0;

// ---------------------------------------------------------------- output

bool Running() {
    DWORD code = 0;
    return child.hProcess && GetExitCodeProcess(child.hProcess, &code) && code == STILL_ACTIVE;
}

[[noreturn]] void Fail(const char *format, ...) {
    char message[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    printf("FAIL line %d: %s\n", lineNumber, message);
    fflush(stdout);
    fprintf(stderr, "cardinst-driver: FAIL line %d: %s\n", lineNumber, message);
    if (Running())
        TerminateProcess(child.hProcess, 99);
    exit(1);
}

std::string Utf8(const std::wstring &text) {
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr,
                                   nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], size, nullptr,
                        nullptr);
    return out;
}

std::wstring Wide(const std::string &text, UINT codePage) {
    if (text.empty())
        return std::wstring();
    int size = MultiByteToWideChar(codePage, 0, text.c_str(), (int)text.size(), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(codePage, 0, text.c_str(), (int)text.size(), &out[0], size);
    return out;
}

// A text in double quotes with line breaks, tabs, quotes and backslashes
// escaped.
std::string Quote(const std::string &text) {
    static const char kSpecial[] = "\n\r\t\"\\", kEscaped[] = "nrt\"\\";
    std::string out = "\"";
    for (char c : text) {
        const char *special = c ? strchr(kSpecial, c) : nullptr;
        out += special ? std::string("\\") + kEscaped[special - kSpecial] : std::string(1, c);
    }
    return out + "\"";
}

void Say(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    fflush(stdout);
}

// ---------------------------------------------------------------- script

Words Split(const std::string &line) {
    Words words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            i++;
        if (i >= line.size() || line[i] == '#')
            break;
        std::string word;
        if (line[i] == '"') {
            i++;
            while (i < line.size() && line[i] != '"') {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    char e = line[++i];
                    word += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
                } else {
                    word += line[i];
                }
                i++;
            }
            if (i >= line.size())
                Fail("unterminated quote");
            i++;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

long Number(const std::string &word) {
    char *end = nullptr;
    long value = strtol(word.c_str(), &end, 0);
    if (word.empty() || *end)
        Fail("not a number: %s", word.c_str());
    return value;
}

DWORD WaitArg(const Words &w, size_t index, DWORD fallback) {
    return w.size() > index ? (DWORD)Number(w[index]) : fallback;
}

// ---------------------------------------------------------------- windows

std::vector<HWND> ProgramWindows() {
    struct Collect {
        std::vector<HWND> found;
    } collect;
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            if (pid == child.dwProcessId && IsWindowVisible(hwnd))
                reinterpret_cast<Collect *>(param)->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&collect));
    return collect.found;
}

bool IsMessageBox(HWND hwnd) {
    wchar_t cls[64] = L"";
    GetClassNameW(hwnd, cls, 64);
    return wcscmp(cls, L"#32770") == 0 && GetDlgItem(hwnd, kMessageBoxIcon) &&
           GetDlgItem(hwnd, kMessageBoxText);
}

HWND FindMessageBox() {
    for (HWND hwnd : ProgramWindows())
        if (IsMessageBox(hwnd))
            return hwnd;
    return nullptr;
}

// A message sent to the program, which may be slow to answer.
LRESULT Send(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, kDefaultWait, &result))
        Fail("message 0x%x not answered by the program", message);
    return (LRESULT)result;
}

std::wstring TextOf(HWND hwnd) {
    std::wstring text(Send(hwnd, WM_GETTEXTLENGTH, 0, 0) + 1, L'\0');
    text.resize(Send(hwnd, WM_GETTEXT, text.size(), (LPARAM)&text[0]));
    return text;
}

void NeedDialog() {
    if (!current || !IsWindow(current))
        Fail("no current dialog (use wait-dialog)");
}

// The program's names of its controls and the dialog manager's, so that a
// script says "click IDC_ADD" where the program's code does.
struct NamedId {
    const char *name;
    int id;
};
#define NAMED(id)                                                                                  \
    { #id, id }
const NamedId kControlNames[] = {
    NAMED(IDOK),           NAMED(IDCANCEL),        NAMED(IDC_QUIT),
    NAMED(IDC_REMOVE),     NAMED(IDC_ADD),         NAMED(IDC_TEST),
    NAMED(IDC_CARDLIST),   NAMED(IDC_MODELLIST),   NAMED(IDC_NEXT),
    NAMED(IDC_FIRSTCOM),   NAMED(IDC_ADDRESS),     NAMED(IDC_IRQ1),
    NAMED(IDC_IRQ2),       NAMED(IDC_IRQ3),        NAMED(IDC_IRQ4),
    NAMED(IDC_PROP_ADD),   NAMED(IDC_PROP_CANCEL), NAMED(IDC_MPB_CANCEL),
    {"IDC_STATIC", 0xFFFF}}; // the labels' -1
#undef NAMED

// A control's id, from its name or its number.
int ControlId(const std::string &word) {
    for (const NamedId &named : kControlNames)
        if (word == named.name)
            return named.id;
    return (int)Number(word);
}

HWND Control(const std::string &id) {
    NeedDialog();
    HWND hwnd = GetDlgItem(current, ControlId(id));
    if (!hwnd)
        Fail("the dialog has no control %s", id.c_str());
    return hwnd;
}

// The controls by which wait-dialog knows each of the program's dialogs.
std::vector<int> DialogIds(const std::string &which) {
    if (which == "main")
        return {IDC_ADD, IDC_CARDLIST, IDC_TEST, IDC_REMOVE, IDC_QUIT};
    if (which == "models")
        return {IDC_MODELLIST, IDC_NEXT, IDCANCEL};
    if (which == "rs")
        return {IDC_FIRSTCOM, IDC_IRQ1, IDC_IRQ2, IDC_IRQ3, IDC_IRQ4, IDC_ADDRESS, IDC_PROP_ADD};
    if (which == "linx")
        return {IDC_ADDRESS, IDC_IRQ1, IDC_PROP_ADD, IDC_PROP_CANCEL};
    if (which == "mpb")
        return {IDC_FIRSTCOM, IDC_IRQ1, IDC_ADDRESS, IDC_PROP_ADD, IDC_MPB_CANCEL};
    Fail("unknown dialog %s", which.c_str());
}

HWND FindDialog(const std::vector<int> &ids) {
    for (HWND hwnd : ProgramWindows()) {
        if (IsMessageBox(hwnd) || !IsWindowEnabled(hwnd))
            continue;
        bool all = true;
        for (int id : ids)
            all = all && GetDlgItem(hwnd, id) != nullptr;
        if (all)
            return hwnd;
    }
    return nullptr;
}

template <typename Predicate> bool WaitFor(DWORD limit, Predicate ready) {
    DWORD start = GetTickCount();
    for (;;) {
        if (ready())
            return true;
        if (GetTickCount() - start >= limit)
            return false;
        Sleep(kPoll);
    }
}

// ------------------------------------------------------------ message boxes

struct IconKind {
    const char *name;
    LPCWSTR resource;
};
const IconKind kIcons[] = {{"error", IDI_HAND},
                           {"warning", IDI_EXCLAMATION},
                           {"information", IDI_ASTERISK},
                           {"question", IDI_QUESTION}};

// Pixels of a screen area, as 0x00RRGGBB, row by row.
std::vector<COLORREF> Capture(HDC source, int x, int y, int width, int height) {
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    std::vector<COLORREF> pixels((const COLORREF *)bits, (const COLORREF *)bits + width * height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return pixels;
}

// The same icon drawn by this process on the background the box shows.
std::vector<COLORREF> Render(LPCWSTR resource, COLORREF background, int width, int height) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, LoadIconW(nullptr, resource), 0, 0, 0, nullptr, DI_NORMAL);
    std::vector<COLORREF> pixels = Capture(memory, 0, 0, width, height);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Which system icon the box shows: its icon control is hidden or holds no
// icon when it has none; otherwise the pixels on screen are matched against each system icon.
std::string BoxIcon(HWND box) {
    HWND icon = GetDlgItem(box, kMessageBoxIcon);
    if (!IsWindowVisible(icon) || !Send(icon, STM_GETICON, 0, 0))
        return "none";
    RECT rect;
    GetWindowRect(icon, &rect);
    int width = GetSystemMetrics(SM_CXICON), height = GetSystemMetrics(SM_CYICON);
    std::string best = "unknown";
    WaitFor(kDefaultWait, [&] {
        HDC screen = GetDC(nullptr);
        std::vector<COLORREF> shown = Capture(screen, rect.left, rect.top, width, height);
        ReleaseDC(nullptr, screen);
        COLORREF corner = shown[0] & 0xFFFFFF;
        COLORREF background = RGB(GetBValue(corner), GetGValue(corner), GetRValue(corner));
        for (const IconKind &kind : kIcons) {
            std::vector<COLORREF> drawn = Render(kind.resource, background, width, height);
            size_t same = 0;
            for (size_t i = 0; i < shown.size(); i++)
                same += (shown[i] & 0xFFFFFF) == (drawn[i] & 0xFFFFFF);
            if (same * 100 >= shown.size() * 97) {
                best = kind.name;
                return true;
            }
        }
        return false;
    });
    return best;
}

struct BoxText {
    HWND hwnd;
    std::string caption, text, icon, owner;
};

std::string OwnerName(HWND owner) {
    if (!owner)
        return "none";
    if (owner == mainWindow)
        return "main";
    char name[32];
    snprintf(name, sizeof name, "%p", (void *)owner);
    return name;
}

BoxText ReadBox(HWND hwnd) {
    BoxText box;
    box.hwnd = hwnd;
    box.caption = Utf8(TextOf(hwnd));
    box.text = Utf8(TextOf(GetDlgItem(hwnd, kMessageBoxText)));
    box.icon = BoxIcon(hwnd);
    box.owner = OwnerName(GetWindow(hwnd, GW_OWNER));
    Say("box caption=%s text=%s icon=%s owner=%s", Quote(box.caption).c_str(),
        Quote(box.text).c_str(), box.icon.c_str(), box.owner.c_str());
    return box;
}

void PressOk(HWND box) {
    HWND ok = GetDlgItem(box, IDOK);
    if (!ok)
        Fail("the message box has no OK button");
    PostMessageW(ok, BM_CLICK, 0, 0);
    if (!WaitFor(kDefaultWait, [&] { return !IsWindow(box) || !IsWindowVisible(box); }))
        Fail("the message box did not close after OK");
}

std::string SystemText(DWORD code) {
    wchar_t *text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  nullptr, code, LANG_USER_DEFAULT, (LPWSTR)&text, 0, nullptr);
    std::wstring out = length ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!out.empty() && (out.back() == L'\r' || out.back() == L'\n'))
        out.pop_back();
    return Utf8(out);
}

// Replaces each {sys:N} by the system's text for code N, which must have one.
std::string Expand(const std::string &pattern) {
    std::string out;
    size_t i = 0;
    while (i < pattern.size()) {
        size_t open = pattern.find("{sys:", i);
        if (open == std::string::npos)
            break;
        size_t close = pattern.find('}', open);
        if (close == std::string::npos)
            break;
        std::string code = pattern.substr(open + 5, close - open - 5),
                    text = SystemText(Number(code));
        if (text.empty())
            Fail("no system text for error %s", code.c_str());
        out += pattern.substr(i, open - i) + text;
        i = close + 1;
    }
    return out + pattern.substr(i);
}

// ---------------------------------------------------------------- lists

Words ListItems(HWND hwnd, UINT countMessage, UINT lengthMessage, UINT textMessage) {
    LRESULT count = Send(hwnd, countMessage, 0, 0);
    if (count < 0)
        Fail("cannot count the items of the control");
    Words items;
    for (LRESULT i = 0; i < count; i++) {
        LRESULT length = Send(hwnd, lengthMessage, i, 0);
        std::wstring text(length < 0 ? 1 : length + 1, L'\0');
        LRESULT copied = Send(hwnd, textMessage, i, (LPARAM)&text[0]);
        text.resize(copied < 0 ? 0 : copied);
        items.push_back(Utf8(text));
    }
    return items;
}

// The words from position first on, each quoted, each after a blank.
std::string Joined(const Words &items, size_t first) {
    std::string out;
    for (size_t i = first; i < items.size(); i++)
        out += " " + Quote(items[i]);
    return out;
}

// Reads with read() until it gives the expected value (the program may
// still be handling the command posted before), then prints what it gave as
// "<what> <value>".
template <typename Reader>
void Observe(const std::string &what, const std::string &expected, Reader read) {
    std::string actual;
    bool same = WaitFor(kDefaultWait, [&] {
        actual = read();
        return actual == expected;
    });
    Say("%s %s", what.c_str(), actual.c_str());
    if (!same)
        Fail("%s: expected %s, got %s", what.c_str(), expected.c_str(), actual.c_str());
}

std::string ComboSelection(HWND combo, const Words &items) {
    LRESULT sel = Send(combo, CB_GETCURSEL, 0, 0);
    return sel >= 0 && (size_t)sel < items.size() ? items[sel] : std::string();
}

// ---------------------------------------------------------------- keys

void WaitReady() {
    NeedDialog();
    if (!WaitFor(kDefaultWait, [] { return IsWindowEnabled(current) != 0; }))
        Fail("the dialog stays disabled");
}

HWND FocusIn(HWND dialog) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    if (!GetGUIThreadInfo(thread, &info) || !info.hwndFocus)
        return nullptr;
    if (info.hwndFocus == dialog || IsChild(dialog, info.hwndFocus))
        return info.hwndFocus;
    return nullptr;
}

void PostKey(HWND target, UINT vk, bool alt) {
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    LPARAM down = 1 | (scan << 16) | (alt ? 1 << 29 : 0);
    LPARAM up = down | (1u << 30) | (1u << 31);
    PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, down);
    PostMessageW(target, alt ? WM_SYSKEYUP : WM_KEYUP, vk, up);
}

// ---------------------------------------------------------------- commands

void Start(const Words &w) {
    if (child.hProcess)
        Fail("the program was already started");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + Wide(w[1], CP_UTF8) + L"\"";
    // Wine now and then refuses a start with ERROR_INTERNAL_ERROR while the
    // previous process of the prefix is still going away; a later try works.
    for (int attempt = 1;; attempt++) {
        if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &child))
            break;
        DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 3)
            Fail("cannot start %s (error %lu)", w[1].c_str(), error);
        Sleep(500);
    }
    WaitForInputIdle(child.hProcess, kDefaultWait);
    Say("started pid=%lu", child.dwProcessId);
}

void WaitDialog(const Words &w) {
    std::vector<int> ids = DialogIds(w[1]);
    DWORD limit = WaitArg(w, 2, kDefaultWait);
    HWND found = nullptr;
    if (!WaitFor(limit, [&] { return (found = FindDialog(ids)) != nullptr || !Running(); }) ||
        !found)
        Fail("no enabled window with controls %s appeared within %lu ms%s", w[1].c_str(),
             (unsigned long)limit, Running() ? "" : " (the program has ended)");
    current = found;
    if (!mainWindow && GetDlgItem(found, IDC_CARDLIST))
        mainWindow = found;
    Say("dialog %s caption=%s", w[1].c_str(), Quote(Utf8(TextOf(found))).c_str());
}

void Caption(const Words &w) {
    NeedDialog();
    Observe("caption", Quote(w[1]), [] { return Quote(Utf8(TextOf(current))); });
}

void List(const Words &w) {
    HWND list = Control(w[1]);
    Observe("list " + w[1], std::to_string(w.size() - 2) + Joined(w, 2), [&] {
        Words items = ListItems(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
        return std::to_string(items.size()) + Joined(items, 0);
    });
}

void Combo(const Words &w) {
    HWND combo = Control(w[1]);
    std::string expected = w.size() > 2 ? Quote(w[2]) + Joined(w, 3) : "";
    Observe("combo " + w[1], expected, [&] {
        Words items = ListItems(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
        return Quote(ComboSelection(combo, items)) + Joined(items, 0);
    });
}

void Text(const Words &w) {
    HWND control = Control(w[1]);
    Observe("text " + w[1], Quote(w[2]), [&] { return Quote(Utf8(TextOf(control))); });
}

void Enabled(const Words &w) {
    HWND control = Control(w[1]);
    Observe("enabled " + w[1], w[2],
            [&] { return std::string(IsWindowEnabled(control) ? "1" : "0"); });
}

void Focus(const Words &w) {
    NeedDialog();
    Observe("focus", std::to_string(ControlId(w[1])), [] {
        HWND focus = FocusIn(current);
        return std::to_string(focus ? GetDlgCtrlID(focus) : 0);
    });
}

void Select(const Words &w) {
    HWND hwnd = Control(w[1]);
    wchar_t cls[64] = L"";
    GetClassNameW(hwnd, cls, 64);
    bool combo = _wcsicmp(cls, L"ComboBox") == 0;
    long line = Number(w[2]);
    if (Send(hwnd, combo ? CB_SETCURSEL : LB_SETCURSEL, line, 0) != line)
        Fail("cannot select line %s of %s", w[2].c_str(), w[1].c_str());
    Say("selected %s %s", w[1].c_str(), w[2].c_str());
}

void SetText(const Words &w) {
    std::wstring text = Wide(w[2], CP_UTF8);
    if (!Send(Control(w[1]), WM_SETTEXT, 0, (LPARAM)text.c_str()))
        Fail("WM_SETTEXT refused by %s", w[1].c_str());
    Say("settext %s %s", w[1].c_str(), Quote(w[2]).c_str());
}

// click waits until the dialog takes input, as a user would; post sends the
// command whatever the dialog's state, as a stray message or another
// program could.
void Click(const Words &w) {
    HWND button = Control(w[1]);
    bool click = w[0] == "click";
    if (click)
        WaitReady();
    PostMessageW(current, WM_COMMAND, MAKEWPARAM(ControlId(w[1]), BN_CLICKED), (LPARAM)button);
    Say("%s %s", click ? "clicked" : "posted", w[1].c_str());
}

void Key(const Words &w) {
    static const struct {
        const char *name;
        UINT vk;
        bool alt;
    } kKeys[] = {{"esc", VK_ESCAPE, false},
                 {"enter", VK_RETURN, false},
                 {"tab", VK_TAB, false},
                 {"altf4", VK_F4, true}};
    WaitReady();
    HWND focus = nullptr;
    if (!WaitFor(kDefaultWait, [&] { return (focus = FocusIn(current)) != nullptr; }))
        Fail("the dialog does not get the keyboard focus");
    for (const auto &key : kKeys) {
        if (w[1] == key.name) {
            PostKey(focus, key.vk, key.alt);
            Say("key %s to control %d", w[1].c_str(), GetDlgCtrlID(focus));
            return;
        }
    }
    Fail("unknown key %s", w[1].c_str());
}

void Close(const Words &) {
    WaitReady();
    PostMessageW(current, WM_SYSCOMMAND, SC_CLOSE, 0);
    Say("close");
}

HWND AwaitBox(DWORD limit) {
    HWND found = nullptr;
    if (!WaitFor(limit, [&] { return (found = FindMessageBox()) != nullptr; }))
        Fail("no message box appeared within %lu ms", (unsigned long)limit);
    return found;
}

void WaitBoxOpen(const Words &w) {
    AwaitBox(WaitArg(w, 1, kDefaultWait));
    Say("box open");
}

void Box(const Words &w) {
    HWND box = AwaitBox(WaitArg(w, 1, kDefaultWait));
    PressOk(ReadBox(box).hwnd);
}

void ExpectEqual(const std::string &what, const std::string &expected, const std::string &actual) {
    if (expected != actual)
        Fail("%s: expected %s, got %s", what.c_str(), Quote(expected).c_str(),
             Quote(actual).c_str());
}

void ExpectBox(const Words &w) {
    BoxText box = ReadBox(AwaitBox(kDefaultWait));
    ExpectEqual("box caption", Expand(w[1]), box.caption);
    ExpectEqual("box text", Expand(w[2]), box.text);
    if (w.size() > 3)
        ExpectEqual("box icon", w[3], box.icon);
    if (w.size() > 4)
        ExpectEqual("box owner", w[4], box.owner);
    PressOk(box.hwnd);
}

void NoBox(const Words &w) {
    HWND found = nullptr;
    if (WaitFor(WaitArg(w, 1, 1000), [&] { return (found = FindMessageBox()) != nullptr; })) {
        ReadBox(found);
        Fail("a message box appeared");
    }
    Say("no-box");
}

DWORD EndedWith() {
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    Say("exit %lu", (unsigned long)code);
    return code;
}

void BoxesUntilExit(const Words &w) {
    DWORD limit = WaitArg(w, 1, kDefaultWait), start = GetTickCount();
    int count = 0;
    for (;;) {
        HWND found = FindMessageBox();
        if (found) {
            PressOk(ReadBox(found).hwnd);
            count++;
            continue;
        }
        if (WaitForSingleObject(child.hProcess, kPoll) == WAIT_OBJECT_0)
            break;
        if (GetTickCount() - start >= limit)
            Fail("the program did not end within %lu ms", (unsigned long)limit);
    }
    Say("boxes %d", count);
    EndedWith();
}

// exit-code [ms], expect-exit <code> [ms]
void ExitCode(const Words &w) {
    bool expect = w[0] == "expect-exit";
    if (!child.hProcess)
        Fail("no program was started");
    DWORD limit = WaitArg(w, expect ? 2 : 1, kDefaultWait);
    if (WaitForSingleObject(child.hProcess, limit) != WAIT_OBJECT_0)
        Fail("the program did not end within %lu ms", (unsigned long)limit);
    DWORD code = EndedWith();
    if (expect && (DWORD)Number(w[1]) != code)
        Fail("exit code: expected %s, got %lu", w[1].c_str(), (unsigned long)code);
}

// Whether the screen shows the window's caption in the active colour: its
// first pixel, inside the frame, is the caption's (or the gradient's start).
bool CaptionDrawnActive(HWND hwnd) {
    WINDOWINFO info = {};
    info.cbSize = sizeof info;
    if (!GetWindowInfo(hwnd, &info))
        return false;
    HDC screen = GetDC(nullptr);
    std::vector<COLORREF> shown = Capture(screen, info.rcWindow.left + (int)info.cxWindowBorders,
                                          info.rcWindow.top + (int)info.cyWindowBorders, 1, 1);
    ReleaseDC(nullptr, screen);
    COLORREF pixel = shown[0] & 0xFFFFFF; // 0x00RRGGBB
    return RGB(GetBValue(pixel), GetGValue(pixel), GetRValue(pixel)) ==
           GetSysColor(COLOR_ACTIVECAPTION);
}

// The window that is active in the thread of a window of the program.
HWND ActiveIn(HWND hwnd) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndActive : nullptr;
}

// Makes a window of the program the foreground window, drawn active, as a
// click elsewhere and back on it would. Without a window manager Wine draws
// a program's first window inactive when it was activated before it became
// the foreground window, and making it the foreground window again changes
// nothing. So the foreground goes to the desktop first, until the program
// has deactivated the window, and then back to the window. A window that
// the program is still activating (a message box just shown) may take the
// foreground back meanwhile; then the round, of a few seconds, is tried
// again, until the default wait has passed.
void Activate(HWND hwnd) {
    const DWORD kRound = 2000;
    WaitFor(kRound, [&] { return GetForegroundWindow() == hwnd && ActiveIn(hwnd) == hwnd; });
    for (DWORD start = GetTickCount(); GetTickCount() - start < kDefaultWait;) {
        SetForegroundWindow(GetDesktopWindow());
        if (!WaitFor(kRound, [&] { return ActiveIn(hwnd) != hwnd; }))
            continue;
        if (!WaitFor(kDefaultWait, [&] {
                if (GetForegroundWindow() == hwnd)
                    return true;
                SetForegroundWindow(hwnd);
                return false;
            }))
            Fail("the window does not become the foreground window");
        if (WaitFor(kRound, [&] { return CaptionDrawnActive(hwnd); })) {
            // The caption changes first; then the program gives the focus
            // back to a control, which redraws itself (caret, focus
            // rectangle). A message sent now is handled after all that,
            // and the program draws what it painted on the screen before
            // it waits for input again.
            Send(hwnd, WM_NULL, 0, 0);
            WaitForInputIdle(child.hProcess, kDefaultWait);
            return;
        }
    }
    Fail("the window's caption is not drawn in the active colour");
}

void SayRect(const char *word, HWND hwnd) {
    RECT rect;
    GetWindowRect(hwnd, &rect);
    Say("%s %ld %ld %ld %ld", word, rect.left, rect.top, rect.right - rect.left,
        rect.bottom - rect.top);
}

void Rect(const Words &) {
    NeedDialog();
    SayRect("rect", current);
}

void ActivateDialog(const Words &) {
    NeedDialog();
    Activate(current);
    Say("active %s", Quote(Utf8(TextOf(current))).c_str());
}

void BoxRect(const Words &w) {
    HWND box = AwaitBox(WaitArg(w, 1, kDefaultWait));
    Activate(box);
    SayRect("box-rect", box);
}

struct Command {
    const char *name;
    size_t arguments; // the words it needs after its name
    void (*run)(const Words &w);
};

// Times are in milliseconds, and every wait has a limit, kDefaultWait unless
// given. A command that posts to the program returns at once; an expect-
// command reads again until the program has caught up, then compares.
const Command kCommands[] = {
    {"start", 1, Start},                     // <exe>: run the program (a Windows path)
    {"wait-dialog", 1, WaitDialog},          // <main|models|rs|linx|mpb> [ms]: the current one
    {"expect-caption", 1, Caption},          // <text>: the current dialog's caption
    {"expect-list", 1, List},                // <id> <item>...: a list box's items
    {"expect-combo", 1, Combo},              // <id> [<selected> <item>...]: "" if none
    {"expect-text", 2, Text},                // <id> <text>: a control's text
    {"expect-enabled", 2, Enabled},          // <id> <0|1>
    {"expect-focus", 1, Focus},              // <id>: the control with the focus
    {"select", 2, Select},                   // <id> <index>: a list or combo box line
    {"settext", 2, SetText},                 // <id> <text>: an edit control's text
    {"click", 1, Click},                     // <id>: post the button's command to the dialog
    {"post", 1, Click},                      // <id>: the same, even to a disabled dialog
    {"key", 1, Key},                         // <esc|enter|tab|altf4>: to the focused control
    {"close", 0, Close},                     // the caption's close box (SC_CLOSE)
    {"wait-box", 0, WaitBoxOpen},            // [ms]: wait for a message box
    {"box", 0, Box},                         // [ms]: the same, print it and press OK
    {"expect-box", 2, ExpectBox},            // <caption> <text> [icon] [owner]
    {"no-box", 0, NoBox},                    // [ms]: no message box comes within that time
    {"boxes-until-exit", 0, BoxesUntilExit}, // [ms]: print and close each until the end
    {"exit-code", 0, ExitCode},              // [ms]: wait for the program's end
    {"expect-exit", 1, ExitCode},            // <code> [ms]
    {"rect", 0, Rect},                       // the current dialog's screen rectangle
    {"activate", 0, ActivateDialog},         // make it the foreground window, drawn active
    {"box-rect", 0, BoxRect}};               // [ms]: the same for a box; print its rectangle

void Run(const Words &w) {
    for (const Command &command : kCommands) {
        if (w[0] == command.name) {
            if (w.size() < command.arguments + 1)
                Fail("%s needs %zu argument(s)", command.name, command.arguments);
            command.run(w);
            return;
        }
    }
    Fail("unknown command %s", w[0].c_str());
}

} // namespace

int main() {
    std::string line;
    for (int c = 0; c != EOF;) {
        if ((c = getchar()) != '\n' && c != EOF) {
            line += (char)c;
            continue;
        }
        lineNumber++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        Words words = Split(line);
        if (!words.empty())
            Run(words);
        line.clear();
    }
    if (Running())
        Say("note: the program is still running");
    return 0;
}
