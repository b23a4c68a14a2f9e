// bench-launcher: times whole Windows programs under Wine, run by run.
//
//   bench-launcher startup <rounds> <warm-up rounds> <label>:<lines>=<exe>...
//     Each round starts every program once, in an order that turns by one
//     place from round to round, and times it from CreateProcess until its
//     main window (a top-level window of the process holding list box 1006)
//     answers that the list holds <lines> lines. The list is filled while
//     the dialog is initialised and the question is only answered once the
//     program's message loop runs, so the time ends when the window is up
//     and listing its cards. The process is then ended with TerminateProcess
//     (quitting would run cardinst's exit checks) and waited for.
//     Prints "round,label,ms", warm-up rounds numbered 0 and below.
//
//   bench-launcher loopback <rounds> <exe> <line-prefix>:<ports>...
//     Starts the program once and, round by round, tests each named card
//     (the list line that starts with <line-prefix>): selects it, posts the
//     Test command and times until the results box appears. Each box must
//     give "OK (send and receive)" for <ports> ports; it is then closed.
//     Prints "round,card,ports,ms".
//
// Every wait has a time limit; the launcher fails (exit code 1) when one
// passes or a program does not behave as expected.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const int kCardList = 1006;
const int kTestButton = 1002;
const int kBoxText = 0xFFFF; // the static text of a message box
const DWORD kStartLimit = 30000;
const DWORD kTestLimit = 30000;
const UINT kSendLimit = 20000;
const DWORD kSettle = 100; // pause between runs, so one run's end does not
                           // overlap the next one's start

LARGE_INTEGER Frequency;
PROCESS_INFORMATION Child = {};

[[noreturn]] void Fail(const char *format, ...) {
    va_list args;
    va_start(args, format);
    fprintf(stderr, "bench-launcher: ");
    vfprintf(stderr, format, args);
    fprintf(stderr, "\n");
    va_end(args);
    if (Child.hProcess)
        TerminateProcess(Child.hProcess, 99);
    exit(1);
}

double Now() {
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return (double)count.QuadPart * 1000.0 / (double)Frequency.QuadPart;
}

std::wstring Wide(const char *text) {
    int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(size > 0 ? size - 1 : 0, L'\0');
    if (size > 1)
        MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], size);
    return out;
}

void Start(const std::string &exe) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + Wide(exe.c_str()) + L"\"";
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &Child))
        Fail("cannot start %s (error %lu)", exe.c_str(), GetLastError());
}

void End() {
    TerminateProcess(Child.hProcess, 0);
    if (WaitForSingleObject(Child.hProcess, 10000) != WAIT_OBJECT_0)
        Fail("the program did not end");
    CloseHandle(Child.hThread);
    CloseHandle(Child.hProcess);
    Child = PROCESS_INFORMATION();
}

bool Running() {
    DWORD code = 0;
    return GetExitCodeProcess(Child.hProcess, &code) && code == STILL_ACTIVE;
}

// The top-level windows of the child that hold a control with this id.
HWND FindWindowWith(int id, HWND except) {
    struct Search {
        int id;
        HWND except;
        HWND found;
    } search = {id, except, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            Search *s = reinterpret_cast<Search *>(param);
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            if (pid == Child.dwProcessId && hwnd != s->except && GetDlgItem(hwnd, s->id)) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Asks the window; the answer comes when the program's thread takes sent
// messages, that is once its message loop (or a modal one) runs.
LRESULT Ask(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, kSendLimit, &result))
        Fail("message 0x%x not answered within %u ms", message, kSendLimit);
    return (LRESULT)result;
}

// Waits for the main window, listing `lines` lines. Returns it.
HWND WaitMainWindow(LRESULT lines, DWORD limit) {
    double until = Now() + limit;
    while (Now() < until) {
        HWND main = FindWindowWith(kCardList, nullptr);
        if (main && Ask(GetDlgItem(main, kCardList), LB_GETCOUNT, 0, 0) == lines &&
            IsWindowVisible(main))
            return main;
        if (!Running())
            Fail("the program ended before its window listed %ld lines", (long)lines);
        Sleep(1);
    }
    Fail("no main window listing %ld lines within %lu ms", (long)lines, limit);
}

int Startup(int argc, char **argv) {
    if (argc < 5)
        Fail("usage: startup <rounds> <warm-up rounds> <label>:<lines>=<exe>...");
    int rounds = atoi(argv[2]), warmup = atoi(argv[3]);
    std::vector<std::string> labels, exes;
    std::vector<LRESULT> lines;
    for (int i = 4; i < argc; i++) {
        const char *colon = strchr(argv[i], ':');
        const char *equals = colon ? strchr(colon, '=') : nullptr;
        if (!equals)
            Fail("%s: expected <label>:<lines>=<exe>", argv[i]);
        labels.push_back(std::string(argv[i], (size_t)(colon - argv[i])));
        lines.push_back(atol(colon + 1));
        exes.push_back(equals + 1);
    }
    size_t count = exes.size();
    printf("round,label,ms\n");
    for (int round = 1 - warmup; round <= rounds; round++) {
        for (size_t k = 0; k < count; k++) {
            size_t which = (k + (size_t)(round + warmup)) % count;
            Sleep(kSettle);
            double start = Now();
            Start(exes[which]);
            WaitMainWindow(lines[which], kStartLimit);
            double elapsed = Now() - start;
            End();
            printf("%d,%s,%.3f\n", round, labels[which].c_str(), elapsed);
            fflush(stdout);
        }
    }
    return 0;
}

std::wstring TextOf(HWND hwnd) {
    LRESULT length = Ask(hwnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text((size_t)length + 1, L'\0');
    LRESULT copied = Ask(hwnd, WM_GETTEXT, (WPARAM)length + 1, (LPARAM)&text[0]);
    text.resize((size_t)copied);
    return text;
}

// The position of the line that starts with prefix.
int LineOf(HWND list, const std::wstring &prefix) {
    LRESULT lines = Ask(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < lines; i++) {
        LRESULT length = Ask(list, LB_GETTEXTLEN, (WPARAM)i, 0);
        std::wstring text((size_t)length + 1, L'\0');
        Ask(list, LB_GETTEXT, (WPARAM)i, (LPARAM)&text[0]);
        if (text.compare(0, prefix.size(), prefix) == 0)
            return (int)i;
    }
    Fail("no card line starts with the given prefix");
}

int Count(const std::wstring &text, const wchar_t *what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + 1))
        count++;
    return count;
}

int Loopback(int argc, char **argv) {
    if (argc < 5)
        Fail("usage: loopback <rounds> <exe> <line-prefix>:<ports>...");
    int rounds = atoi(argv[2]);
    std::vector<std::wstring> prefixes;
    std::vector<int> ports;
    for (int i = 4; i < argc; i++) {
        const char *colon = strrchr(argv[i], ':');
        if (!colon)
            Fail("%s: expected <line-prefix>:<ports>", argv[i]);
        prefixes.push_back(Wide(std::string(argv[i], (size_t)(colon - argv[i])).c_str()));
        ports.push_back(atoi(colon + 1));
    }
    Start(argv[3]);
    double until = Now() + kStartLimit;
    HWND main = nullptr;
    while (!(main = FindWindowWith(kCardList, nullptr)) || !IsWindowVisible(main)) {
        if (Now() > until || !Running())
            Fail("no main window");
        Sleep(1);
    }
    HWND list = GetDlgItem(main, kCardList);
    printf("round,card,ports,ms\n");
    for (int round = 1; round <= rounds; round++) {
        for (size_t k = 0; k < prefixes.size(); k++) {
            size_t which = (k + (size_t)round) % prefixes.size();
            Sleep(kSettle);
            int line = LineOf(list, prefixes[which]);
            if (Ask(list, LB_SETCURSEL, (WPARAM)line, 0) != line)
                Fail("cannot select line %d", line);
            double start = Now();
            PostMessageW(main, WM_COMMAND, MAKEWPARAM(kTestButton, BN_CLICKED),
                         (LPARAM)GetDlgItem(main, kTestButton));
            HWND box = nullptr;
            while (!(box = FindWindowWith(kBoxText, main))) {
                if (Now() > start + kTestLimit || !Running())
                    Fail("no results box within %lu ms", kTestLimit);
                Sleep(1);
            }
            double elapsed = Now() - start;
            std::wstring text = TextOf(GetDlgItem(box, kBoxText));
            if (Count(text, L"OK (send and receive)") != ports[which] ||
                Count(text, L"\n") != ports[which])
                Fail("the results box does not give %d ports tested OK", ports[which]);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         (LPARAM)GetDlgItem(box, IDOK));
            double closing = Now() + kTestLimit;
            while (IsWindow(box)) {
                if (Now() > closing)
                    Fail("the results box does not close");
                Sleep(1);
            }
            printf("%d,%s,%d,%.3f\n", round, argv[4 + which], ports[which], elapsed);
            fflush(stdout);
        }
    }
    End();
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    QueryPerformanceFrequency(&Frequency);
    if (argc >= 2 && strcmp(argv[1], "startup") == 0)
        return Startup(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "loopback") == 0)
        return Loopback(argc, argv);
    Fail("usage: bench-launcher startup|loopback ...");
}
