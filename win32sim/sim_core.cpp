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
const size_t FUNCTIONS = static_cast<size_t>(Fn::Count);
int callCounts[FUNCTIONS];
std::vector<FailRequest> failRequests[FUNCTIONS];
size_t pendingRequests = 0;
std::vector<std::string> fallibleCalls;
const char *const functionNames[FUNCTIONS] = {
#define SIM_NAME(name) #name,
    SIM_COUNTED(SIM_NAME)
#undef SIM_NAME
};

// The function of a name; Fn::Count for a name not counted here.
Fn FunctionOf(const std::string &name) {
    size_t i = 0;
    while (i < FUNCTIONS && name != functionNames[i])
        i++;
    return static_cast<Fn>(i);
}

// The blocks that malloc and calloc gave the program since Reset() and that
// it has not freed yet, most recent last (the program frees mostly what it
// allocated last).
std::vector<const void *> liveBlocks;

LONG fallibleStatus = ERROR_SUCCESS;
DWORD fallibleCommError = 0;
std::set<void *> localBlocks;
// Blocks still allocated when the machine was reset: the program may hold
// one in a global across tests and free it later, which is no error.
std::set<void *> retiredBlocks;
DWORD lastError = 0;

// The English texts that Windows gives for the codes the program may meet,
// and those the tests set in their place until Reset().
struct SystemText {
    DWORD code;
    const char *text;
};
const SystemText systemTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {14, "Not enough storage is available to complete this operation.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
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
std::map<DWORD, std::string> textsSet;

// The text for a code, or NULL.
const char *FindSystemText(DWORD code) {
    auto set = textsSet.find(code);
    if (set != textsSet.end())
        return set->second.c_str();
    for (const SystemText &known : systemTexts)
        if (known.code == code)
            return known.text;
    return nullptr;
}

} // namespace

int apiDepth = 0;
size_t fallibleCount = 0;
size_t fallibleTarget = 0; // 1-based; 0: none
bool describingCalls = true;

void Fail(const std::string &what) {
    failures.push_back(what);
}

const char *FunctionName(Fn function) {
    return functionNames[static_cast<size_t>(function)];
}

void Count(Fn function) {
    ++callCounts[static_cast<size_t>(function)];
}

void SetError(DWORD error) {
    lastError = error;
}

bool Hit(Fn function, LONG_PTR *result, DWORD *error) {
    ++callCounts[static_cast<size_t>(function)];
    if (!pendingRequests)
        return false;
    bool hit = false;
    std::vector<FailRequest> &requests = failRequests[static_cast<size_t>(function)];
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
        pendingRequests--;
    }
    return hit;
}

void RecordFallible(std::string description) {
    fallibleCalls.resize(fallibleCount - 1);
    fallibleCalls.push_back(std::move(description));
}

LONG FallibleStatus() {
    return fallibleStatus;
}

DWORD FallibleCommError() {
    return fallibleCommError;
}

bool HitSettingError(Fn function) {
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
    for (size_t i = 0; i < detail::FUNCTIONS; i++) {
        detail::callCounts[i] = 0;
        detail::failRequests[i].clear();
    }
    detail::pendingRequests = 0;
    detail::fallibleCalls.clear();
    detail::fallibleCount = 0;
    detail::describingCalls = true;
    detail::liveBlocks.clear();
    detail::fallibleTarget = 0;
    detail::retiredBlocks.insert(detail::localBlocks.begin(), detail::localBlocks.end());
    detail::localBlocks.clear();
    detail::textsSet.clear();
    detail::lastError = 0;
}

const std::vector<std::string> &Failures() {
    return detail::failures;
}

void FailCall(const std::string &function, int nth, LONG_PTR result, DWORD lastError) {
    if (nth < 1)
        detail::Fail("FailCall(" + function + "): the call number counts from 1");
    detail::Fn failing = detail::FunctionOf(function);
    if (nth >= 1 && failing != detail::Fn::Count) {
        detail::failRequests[static_cast<size_t>(failing)].push_back({nth, result, lastError});
        detail::pendingRequests++;
    }
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
    return static_cast<int>(detail::liveBlocks.size());
}

int CallCount(const std::string &function) {
    detail::Fn counted = detail::FunctionOf(function);
    return counted == detail::Fn::Count ? 0 : detail::callCounts[static_cast<size_t>(counted)];
}

size_t FallibleCallCount() {
    return detail::fallibleCount;
}

void DescribeFallibleCalls(bool describe) {
    detail::describingCalls = describe;
    if (!describe)
        detail::fallibleCalls.clear();
}

void SetSystemText(DWORD code, const std::string &text) {
    detail::textsSet[code] = text;
}

int LocalAllocCount() {
    return static_cast<int>(detail::localBlocks.size());
}

} // namespace sim

using namespace sim::detail;

extern "C" {

DWORD WINAPI GetLastError(void) {
    Api api(Fn::GetLastError_);
    return lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    Api api(Fn::SetLastError_);
    lastError = dwErrCode;
}

// Only what the program asks for: a system text in an allocated block.
DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                            LPSTR lpBuffer, DWORD nSize, va_list *Arguments) {
    Api api(Fn::None);
    if (HitSettingError(Fn::FormatMessageA_))
        return 0;
    (void)dwLanguageId; // the system texts exist in English only
    (void)nSize;
    if (dwFlags != (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER) || lpSource ||
        Arguments || !lpBuffer) {
        Fail("FormatMessageA: only allocated system texts without arguments exist here");
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const char *text = FindSystemText(dwMessageId);
    if (!text) {
        lastError = ERROR_MR_MID_NOT_FOUND;
        return 0;
    }
    // A text with inserts (%1...) needs arguments that the program never gives.
    if (strchr(text, '%')) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    size_t length = strlen(text);
    char *block = static_cast<char *>(::malloc(length + 1));
    memcpy(block, text, length + 1);
    localBlocks.insert(block);
    *reinterpret_cast<char **>(lpBuffer) = block;
    return static_cast<DWORD>(length);
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    Api api(Fn::LocalFree_);
    if (!hMem || retiredBlocks.erase(hMem) || localBlocks.erase(hMem)) {
        ::free(hMem);
        return NULL;
    }
    Fail("LocalFree: not a live block from FormatMessageA (freed twice?)");
    lastError = ERROR_INVALID_HANDLE;
    return hMem;
}

void *SimMalloc(size_t size) {
    bool fail = FallibleHit([&] { return "malloc " + std::to_string(size); });
    if (Hit(Fn::malloc_) || fail)
        return NULL;
    void *block = ::malloc(size);
    if (block)
        liveBlocks.push_back(block);
    return block;
}

void *SimCalloc(size_t count, size_t size) {
    bool fail = FallibleHit([&] { return "calloc " + std::to_string(count * size); });
    if (Hit(Fn::calloc_) || fail)
        return NULL;
    void *block = ::calloc(count, size);
    if (block)
        liveBlocks.push_back(block);
    return block;
}

// A block given before the last Reset() is freed here too, uncounted.
void SimFree(void *block) {
    for (size_t i = liveBlocks.size(); i-- > 0;) {
        if (liveBlocks[i] == block) {
            liveBlocks.erase(liveBlocks.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    ::free(block);
}

} // extern "C"
