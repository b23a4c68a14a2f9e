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

// Counts one call of `function` (CallCount) and tells whether a FailCall
// request makes this call fail; if so, *result and *lastError receive what
// the request asked for.
bool Hit(const std::string &function, LONG_PTR *result = nullptr, DWORD *lastError = nullptr);
// Hit for the functions whose failure sets the last error, when the request
// gives one.
bool HitSettingError(const std::string &function);
// Counts one fallible call (FallibleCalls) and tells whether it is the one
// FailNthFallible chose; if so, FallibleStatus() and FallibleCommError() give
// what it asked for.
bool FallibleHit(const std::string &description);
LONG FallibleStatus();
DWORD FallibleCommError();
// Counts one call without any failure request attached to it.
void Count(const std::string &function);
// Sets the last error without counting a call of SetLastError.
void SetError(DWORD error);

// Marks a call of the Win32 API for CallCount: only calls made by the
// program (or a test) count, not those the stand-in makes on its own. The
// stand-in's calls into the program (dialog procedures, test handlers) are
// wrapped in a Callout, so that what the program does there counts again.
extern int apiDepth;
struct Api {
    explicit Api(const char *function) {
        if (apiDepth++ == 0 && function)
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
