// Last error, system error texts, local memory, the counted C heap, fault
// injection and the reset of the whole stand-in.
#include "sim_internal.h"

#include <map>
#include <set>

namespace sim {
namespace detail {
namespace {

struct FailRequest {
    int remaining;
    LONG_PTR result;
    DWORD lastError;
};

std::vector<std::string> failures;
std::map<std::string, int> callCounts;
std::map<std::string, std::vector<FailRequest>> failRequests;
std::set<void *> localBlocks;
// Blocks still allocated when the machine was reset: the program may hold
// one in a global across tests and free it later, which is no error.
std::set<void *> retiredBlocks;
std::map<DWORD, std::string> systemTexts;
thread_local DWORD lastError = 0;

// The English texts that Windows gives for the codes the program may meet.
const std::map<DWORD, std::string> &DefaultSystemTexts() {
    static const std::map<DWORD, std::string> texts = {
        {0, "The operation completed successfully.\r\n"},
        {1, "Incorrect function.\r\n"},
        {2, "The system cannot find the file specified.\r\n"},
        {3, "The system cannot find the path specified.\r\n"},
        {5, "Access is denied.\r\n"},
        {6, "The handle is invalid.\r\n"},
        {8, "Not enough memory resources are available to process this command.\r\n"},
        {14, "Not enough storage is available to complete this operation.\r\n"},
        {31, "A device attached to the system is not functioning.\r\n"},
        {32, "The process cannot access the file because it is being used by another "
             "process.\r\n"},
        {50, "The request is not supported.\r\n"},
        {87, "The parameter is incorrect.\r\n"},
        {121, "The semaphore timeout period has expired.\r\n"},
        {122, "The data area passed to a system call is too small.\r\n"},
        {161, "The specified path is invalid.\r\n"},
        {234, "More data is available.\r\n"},
        {259, "No more data is available.\r\n"},
        {317, "The system cannot find message text for message number 0x%1 in the message file "
              "for %2.\r\n"},
        {995, "The I/O operation has been aborted because of either a thread exit or an "
              "application request.\r\n"},
        {998, "Invalid access to memory location.\r\n"},
        {1018, "Illegal operation attempted on a registry key that has been marked for "
               "deletion.\r\n"},
        {1117, "The request could not be performed because of an I/O device error.\r\n"},
        {1400, "Invalid window handle.\r\n"},
        {1413, "Invalid index.\r\n"},
        {1421, "Control ID not found.\r\n"},
        {1450, "Insufficient system resources exist to complete the requested service.\r\n"},
        {1460, "This operation returned because the timeout period expired.\r\n"},
        {1812, "The specified image file did not contain a resource section.\r\n"},
        {1813, "The specified resource type cannot be found in the image file.\r\n"},
        {1814, "The specified resource name cannot be found in the image file.\r\n"},
        {1815, "The specified resource language ID cannot be found in the image file.\r\n"},
    };
    return texts;
}

void ResetCore() {
    failures.clear();
    callCounts.clear();
    failRequests.clear();
    retiredBlocks.insert(localBlocks.begin(), localBlocks.end());
    localBlocks.clear();
    systemTexts = DefaultSystemTexts();
    lastError = 0;
}

// Expands the escapes of a message-table text the way FormatMessage does.
// Returns false (error 87) when the text needs arguments it was not given.
bool ExpandMessage(const std::string &text, bool ignoreInserts, std::string *out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '%' || i + 1 >= text.size()) {
            out->push_back(c);
            continue;
        }
        char n = text[i + 1];
        if (n >= '1' && n <= '9') {
            if (!ignoreInserts) {
                return false;
            }
            out->push_back(c);
            continue;
        }
        ++i;
        switch (n) {
        case '0':
            return true;
        case 'n':
            *out += "\r\n";
            break;
        case 'r':
            out->push_back('\r');
            break;
        case 't':
            out->push_back('\t');
            break;
        default: // %% %. %! %space and the like give the character itself
            out->push_back(n);
            break;
        }
    }
    return true;
}

} // namespace

thread_local int apiDepth = 0;

void Fail(const std::string &what) {
    failures.push_back(what);
}

void Count(const std::string &function) {
    ++callCounts[function];
}

bool Hit(const std::string &function, LONG_PTR *result, DWORD *error) {
    ++callCounts[function];
    auto it = failRequests.find(function);
    if (it == failRequests.end()) {
        return false;
    }
    bool hit = false;
    std::vector<FailRequest> &requests = it->second;
    for (size_t i = 0; i < requests.size();) {
        if (--requests[i].remaining == 0) {
            if (!hit) {
                hit = true;
                if (result) {
                    *result = requests[i].result;
                }
                if (error) {
                    *error = requests[i].lastError;
                }
            }
            requests.erase(requests.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    return hit;
}

int CompareUpper(const std::string &a, const std::string &b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'a' && ca <= 'z') {
            ca = static_cast<unsigned char>(ca - 'a' + 'A');
        }
        if (cb >= 'a' && cb <= 'z') {
            cb = static_cast<unsigned char>(cb - 'a' + 'A');
        }
        if (ca >= 0xE0 && ca <= 0xFE && ca != 0xF7) {
            ca = static_cast<unsigned char>(ca - 0x20);
        }
        if (cb >= 0xE0 && cb <= 0xFE && cb != 0xF7) {
            cb = static_cast<unsigned char>(cb - 0x20);
        }
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

bool EqualNoCase(const std::string &a, const std::string &b) {
    return CompareUpper(a, b) == 0;
}

} // namespace detail

void Reset() {
    detail::ResetWindows();
    detail::ResetRegistry();
    detail::ResetPorts();
    detail::ResetResources();
    detail::ResetCore();
}

const std::vector<std::string> &Failures() {
    return detail::failures;
}

void FailCall(const std::string &function, int nth, LONG_PTR result, DWORD lastError) {
    if (nth < 1) {
        detail::Fail("FailCall(" + function + "): the call number counts from 1");
        return;
    }
    detail::failRequests[function].push_back({nth, result, lastError});
}

int CallCount(const std::string &function) {
    auto it = detail::callCounts.find(function);
    return it == detail::callCounts.end() ? 0 : it->second;
}

void SetSystemText(DWORD code, const std::string &text) {
    if (detail::systemTexts.empty()) {
        detail::systemTexts = detail::DefaultSystemTexts();
    }
    detail::systemTexts[code] = text;
}

int LocalAllocCount() {
    return static_cast<int>(detail::localBlocks.size());
}

} // namespace sim

using sim::detail::Api;
using sim::detail::lastError;

extern "C" {

DWORD WINAPI GetLastError(void) {
    Api api("GetLastError");
    return lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    Api api("SetLastError");
    lastError = dwErrCode;
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    Api api("LocalAlloc");
    if (uFlags & LMEM_MOVEABLE) {
        sim::detail::Fail("LocalAlloc: movable blocks are not supported here");
    }
    void *block = ::malloc(uBytes ? uBytes : 1);
    if (!block) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return NULL;
    }
    if (uFlags & LMEM_ZEROINIT) {
        memset(block, 0, uBytes ? uBytes : 1);
    }
    sim::detail::localBlocks.insert(block);
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    Api api("LocalFree");
    if (!hMem) {
        return NULL;
    }
    auto retired = sim::detail::retiredBlocks.find(hMem);
    if (retired != sim::detail::retiredBlocks.end()) {
        sim::detail::retiredBlocks.erase(retired);
        ::free(hMem);
        return NULL;
    }
    auto it = sim::detail::localBlocks.find(hMem);
    if (it == sim::detail::localBlocks.end()) {
        sim::detail::Fail("LocalFree: not a live block from LocalAlloc (freed twice?)");
        lastError = ERROR_INVALID_HANDLE;
        return hMem;
    }
    sim::detail::localBlocks.erase(it);
    ::free(hMem);
    return NULL;
}

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list *Arguments) {
    Api api(nullptr);
    LONG_PTR ignored = 0;
    DWORD injected = 0;
    if (sim::detail::Hit("FormatMessageA", &ignored, &injected)) {
        lastError = injected;
        return 0;
    }
    (void)dwLanguageId; // the system texts exist in English only
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & FORMAT_MESSAGE_FROM_STRING) ||
        (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) || lpSource) {
        sim::detail::Fail("FormatMessageA: only FORMAT_MESSAGE_FROM_SYSTEM texts exist here");
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    if (!lpBuffer) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    if (sim::detail::systemTexts.empty()) {
        sim::detail::systemTexts = sim::detail::DefaultSystemTexts();
    }
    auto it = sim::detail::systemTexts.find(dwMessageId);
    if (it == sim::detail::systemTexts.end()) {
        lastError = ERROR_MR_MID_NOT_FOUND;
        return 0;
    }
    std::string text;
    bool ignoreInserts = (dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
    if (!sim::detail::ExpandMessage(it->second, ignoreInserts || Arguments, &text)) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    if (Arguments && !ignoreInserts && text.find('%') != std::string::npos) {
        sim::detail::Fail("FormatMessageA: inserts with arguments are not supported here");
    }
    DWORD length = static_cast<DWORD>(text.size());
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        SIZE_T size = (length + 1 > nSize ? length + 1 : nSize);
        char *block = static_cast<char *>(LocalAlloc(LMEM_FIXED, size));
        if (!block) {
            return 0;
        }
        memcpy(block, text.c_str(), length + 1);
        *reinterpret_cast<char **>(lpBuffer) = block;
        return length;
    }
    if (length + 1 > nSize) {
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    memcpy(lpBuffer, text.c_str(), length + 1);
    return length;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    Api api("GetModuleHandleA");
    if (lpModuleName) {
        lastError = ERROR_FILE_NOT_FOUND;
        return NULL;
    }
    return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000));
}

void *SimMalloc(size_t size) {
    if (sim::detail::Hit("malloc", NULL, NULL)) {
        return NULL;
    }
    return ::malloc(size);
}

void *SimCalloc(size_t count, size_t size) {
    if (sim::detail::Hit("calloc", NULL, NULL)) {
        return NULL;
    }
    return ::calloc(count, size);
}

void *SimRealloc(void *block, size_t size) {
    if (sim::detail::Hit("realloc", NULL, NULL)) {
        return NULL;
    }
    return ::realloc(block, size);
}

void SimFree(void *block) {
    ::free(block);
}

} // extern "C"
