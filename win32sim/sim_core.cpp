// Last error, system error texts, local memory, the counted C heap, fault
// injection and the reset of the whole stand-in.
#include "sim_internal.h"

#include <map>
#include <set>
#include <unordered_set>

// The sanitizers' allocator calls these hooks for every block it gives and
// takes back; weak, so that a build without them still links.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void *, size_t),
                                                         void (*)(const volatile void *))
    __attribute__((weak));

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
std::vector<std::string> fallibleCalls;

// The program's blocks and, for each, how many frees of the whole process
// came before it. Every free is logged in order; a block is freed when its
// address comes in the log after it was given, since the allocator never
// gives an address again before it was freed. The log holds no allocation.
struct HeapBlock {
    const void *address;
    size_t freesBefore;
};
std::vector<HeapBlock> heapBlocks;
const size_t FREE_LOG_SIZE = size_t(1) << 21;
const volatile void *freeLog[FREE_LOG_SIZE];
size_t freeCount = 0; // may pass FREE_LOG_SIZE: then the oldest are lost
bool hooked = false;

void OnMalloc(const volatile void *, size_t) {}

void OnFree(const volatile void *address) {
    freeLog[freeCount % FREE_LOG_SIZE] = address;
    freeCount++;
}

void *Given(void *block) {
    if (!hooked && __sanitizer_install_malloc_and_free_hooks)
        hooked = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
    if (block)
        heapBlocks.push_back({block, freeCount});
    return block;
}
size_t fallibleTarget = 0; // 1-based; 0: none
LONG fallibleStatus = ERROR_SUCCESS;
DWORD fallibleCommError = 0;
std::set<void *> localBlocks;
// Blocks still allocated when the machine was reset: the program may hold
// one in a global across tests and free it later, which is no error.
std::set<void *> retiredBlocks;
DWORD lastError = 0;

// The English texts that Windows gives for the codes the program may meet.
std::map<DWORD, std::string> DefaultSystemTexts() {
    return {
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
}

std::map<DWORD, std::string> &SystemTexts() {
    static std::map<DWORD, std::string> texts = DefaultSystemTexts();
    return texts;
}

} // namespace

int apiDepth = 0;

void Fail(const std::string &what) {
    failures.push_back(what);
}

void Count(const std::string &function) {
    ++callCounts[function];
}

void SetError(DWORD error) {
    lastError = error;
}

bool Hit(const std::string &function, LONG_PTR *result, DWORD *error) {
    ++callCounts[function];
    bool hit = false;
    std::vector<FailRequest> &requests = failRequests[function];
    for (size_t i = 0; i < requests.size();) {
        if (--requests[i].remaining > 0) {
            ++i;
            continue;
        }
        if (!hit && result)
            *result = requests[i].result;
        if (!hit && error)
            *error = requests[i].lastError;
        hit = true;
        requests.erase(requests.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return hit;
}

bool FallibleHit(const std::string &description) {
    fallibleCalls.push_back(description);
    return fallibleCalls.size() == fallibleTarget;
}

LONG FallibleStatus() {
    return fallibleStatus;
}

DWORD FallibleCommError() {
    return fallibleCommError;
}

bool HitSettingError(const std::string &function) {
    DWORD error = 0;
    if (!Hit(function, nullptr, &error))
        return false;
    if (error)
        lastError = error;
    return true;
}

} // namespace detail

void Reset() {
    detail::ResetWindows();
    detail::ResetRegistry();
    detail::ResetPorts();
    detail::ResetResources();
    detail::failures.clear();
    detail::callCounts.clear();
    detail::failRequests.clear();
    detail::fallibleCalls.clear();
    detail::heapBlocks.clear();
    detail::fallibleTarget = 0;
    detail::retiredBlocks.insert(detail::localBlocks.begin(), detail::localBlocks.end());
    detail::localBlocks.clear();
    detail::SystemTexts() = detail::DefaultSystemTexts();
    detail::lastError = 0;
}

const std::vector<std::string> &Failures() {
    return detail::failures;
}

void FailCall(const std::string &function, int nth, LONG_PTR result, DWORD lastError) {
    if (nth < 1)
        detail::Fail("FailCall(" + function + "): the call number counts from 1");
    else
        detail::failRequests[function].push_back({nth, result, lastError});
}

void FailNthFallible(int k, LONG registryStatus, DWORD commError) {
    detail::fallibleTarget = k > 0 ? static_cast<size_t>(k) : 0;
    detail::fallibleStatus = registryStatus;
    detail::fallibleCommError = commError;
}

const std::vector<std::string> &FallibleCalls() {
    return detail::fallibleCalls;
}

int UnfreedBlocks() {
    using namespace detail;
    size_t end = freeCount; // the work below frees too
    if (heapBlocks.empty())
        return 0;
    if (!hooked || end - heapBlocks.front().freesBefore > FREE_LOG_SIZE / 2)
        return -1;
    std::unordered_set<const void *> live;
    size_t given = 0;
    for (size_t j = heapBlocks.front().freesBefore; j < end; j++) {
        for (; given < heapBlocks.size() && heapBlocks[given].freesBefore <= j; given++)
            live.insert(heapBlocks[given].address);
        live.erase(const_cast<const void *>(freeLog[j % FREE_LOG_SIZE]));
    }
    return static_cast<int>(live.size() + heapBlocks.size() - given);
}

int CallCount(const std::string &function) {
    auto it = detail::callCounts.find(function);
    return it == detail::callCounts.end() ? 0 : it->second;
}

void SetSystemText(DWORD code, const std::string &text) {
    detail::SystemTexts()[code] = text;
}

int LocalAllocCount() {
    return static_cast<int>(detail::localBlocks.size());
}

} // namespace sim

using namespace sim::detail;

extern "C" {

DWORD WINAPI GetLastError(void) {
    Api api("GetLastError");
    return lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    Api api("SetLastError");
    lastError = dwErrCode;
}

// Only what the program asks for: a system text in an allocated block.
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list *Arguments) {
    Api api(nullptr);
    if (HitSettingError("FormatMessageA"))
        return 0;
    (void)dwLanguageId; // the system texts exist in English only
    (void)nSize;
    if (dwFlags != (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER) || lpSource ||
        Arguments || !lpBuffer) {
        Fail("FormatMessageA: only allocated system texts without arguments exist here");
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    auto it = SystemTexts().find(dwMessageId);
    if (it == SystemTexts().end()) {
        lastError = ERROR_MR_MID_NOT_FOUND;
        return 0;
    }
    // A text with inserts (%1...) needs arguments that the program never gives.
    const std::string &text = it->second;
    if (text.find('%') != std::string::npos) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    char *block = static_cast<char *>(::malloc(text.size() + 1));
    memcpy(block, text.c_str(), text.size() + 1);
    localBlocks.insert(block);
    *reinterpret_cast<char **>(lpBuffer) = block;
    return static_cast<DWORD>(text.size());
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    Api api("LocalFree");
    if (!hMem || retiredBlocks.erase(hMem) || localBlocks.erase(hMem)) {
        ::free(hMem);
        return NULL;
    }
    Fail("LocalFree: not a live block from FormatMessageA (freed twice?)");
    lastError = ERROR_INVALID_HANDLE;
    return hMem;
}

void *SimMalloc(size_t size) {
    bool fail = FallibleHit("malloc " + std::to_string(size));
    if (Hit("malloc") || fail)
        return NULL;
    return Given(::malloc(size));
}

void *SimCalloc(size_t count, size_t size) {
    bool fail = FallibleHit("calloc " + std::to_string(count * size));
    if (Hit("calloc") || fail)
        return NULL;
    return Given(::calloc(count, size));
}

} // extern "C"
