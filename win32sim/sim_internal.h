// Shared state and helpers of the stand-in's source files. Not for tests or
// product code.
#ifndef WIN32SIM_SIM_INTERNAL_H
#define WIN32SIM_SIM_INTERNAL_H

#define WIN32SIM_NO_HEAP_MACROS
#include "simtest.h"

#include <string>
#include <vector>

namespace sim {
namespace detail {

// Records a problem for Failures().
void Fail(const std::string &what);

// The functions and control messages that CallCount counts and FailCall
// can make fail, each with the name the tests give it.
// clang-format off
#define SIM_COUNTED(X) \
    X(GetLastError) X(SetLastError) X(FormatMessageA) X(LocalFree) X(LoadStringA) \
    X(malloc) X(calloc) X(RegOpenKeyExA) X(RegCreateKeyExA) X(RegEnumKeyExA) \
    X(RegQueryValueExA) X(RegSetValueExA) X(RegDeleteKeyA) X(RegCloseKey) \
    X(CreateFileA) X(GetCommState) X(SetCommState) X(GetCommTimeouts) \
    X(SetCommTimeouts) X(WriteFile) X(ReadFile) X(CloseHandle) X(CreateDialogParamA) \
    X(DialogBoxParamA) X(EndDialog) X(DestroyWindow) X(EnableWindow) X(GetDlgItem) \
    X(SendMessageA) X(SendDlgItemMessageA) X(SetDlgItemTextA) X(GetDlgItemTextA) \
    X(GetDlgItemInt) X(MessageBoxA) X(GetMessageA) X(TranslateMessage) \
    X(DispatchMessageA) X(IsDialogMessageA) X(PostQuitMessage) X(LB_ADDSTRING) \
    X(LB_RESETCONTENT) X(LB_GETCURSEL) X(LB_GETITEMDATA) X(LB_SETITEMDATA) \
    X(CB_ADDSTRING) X(CB_SETCURSEL) X(CB_GETCURSEL) X(CB_GETCOUNT)
// clang-format on
// The enumerators end in an underscore (Fn::LB_ADDSTRING_), so that the
// messages' macros do not replace them.
enum class Fn {
#define SIM_ENUMERATOR(name) name##_,
    SIM_COUNTED(SIM_ENUMERATOR)
#undef SIM_ENUMERATOR
        Count,
    None // not counted
};
const char *FunctionName(Fn function);

// Counts one call of `function` (CallCount) and tells whether a FailCall
// request makes this call fail; if so, *result and *lastError receive what
// the request asked for.
bool Hit(Fn function, LONG_PTR *result = nullptr, DWORD *lastError = nullptr);
// Hit for the functions whose failure sets the last error, when the request
// gives one.
bool HitSettingError(Fn function);
// Counts one call without any failure request attached to it.
void Count(Fn function);

// Counts one fallible call and tells whether it is the one FailNthFallible
// chose; if so, FallibleStatus() and FallibleCommError() give what it asked
// for. `describe` gives the call's description for FallibleCalls(), which
// is built only while descriptions are kept or for the failing call.
extern size_t fallibleCount, fallibleTarget;
extern bool describingCalls;
void RecordFallible(std::string description);
template <class Describe> bool FallibleHit(const Describe &describe) {
    bool hit = ++fallibleCount == fallibleTarget;
    if (describingCalls || hit)
        RecordFallible(describe());
    return hit;
}
LONG FallibleStatus();
DWORD FallibleCommError();
// Sets the last error without counting a call of SetLastError.
void SetError(DWORD error);

// Marks a call of the Win32 API for CallCount: only calls made by the
// program (or a test) count, not those the stand-in makes on its own. The
// stand-in's calls into the program (dialog procedures, test handlers) are
// wrapped in a Callout, so that what the program does there counts again.
extern int apiDepth;
struct Api {
    explicit Api(Fn function) {
        if (apiDepth++ == 0 && function != Fn::None)
            Count(function);
    }
    ~Api() {
        --apiDepth;
    }
    Api(const Api &) = delete;
    Api &operator=(const Api &) = delete;
};
struct Callout {
    Callout() : saved(apiDepth) {
        apiDepth = 0;
    }
    ~Callout() {
        apiDepth = saved;
    }
    Callout(const Callout &) = delete;
    Callout &operator=(const Callout &) = delete;
    int saved;
};

// Per-area resets, called by sim::Reset.
void ResetRegistry();
void ResetWindows();
void ResetPorts();
void ResetResources();

// ---- Dialog templates read from the program's resource script.
struct ControlTemplate {
    std::string text;
    int id;
    std::string className;
    DWORD style;
};

struct DialogTemplate {
    int id;
    DWORD style;
    std::string caption;
    std::vector<ControlTemplate> controls;
};

// The template for `id` in the current language, or NULL.
const DialogTemplate *FindDialog(int id);
// The string `id` in the current language as Windows-1252 bytes; false when
// the string does not exist.
bool FindString(UINT id, std::string *text);

} // namespace detail
} // namespace sim

#endif
