// The in-memory registry: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER trees,
// handles that remember their access rights, and the test API to seed and
// inspect keys.
#include "sim_internal.h"

#include <algorithm>
#include <map>
#include <memory>

namespace sim {
namespace detail {
namespace {

struct Value {
    std::string name;
    DWORD type;
    std::string data;
};

struct RegKey {
    std::string name;
    RegKey *parent = nullptr;
    bool deleted = false;
    std::vector<std::shared_ptr<RegKey>> subkeys; // in case-insensitive name order
    std::vector<Value> values;                    // in creation order
    FILETIME lastWrite = {0, 0};
};

struct KeyHandle {
    std::shared_ptr<RegKey> key;
    REGSAM access;
};

std::shared_ptr<RegKey> localMachine;
std::shared_ptr<RegKey> currentUser;
std::map<uintptr_t, KeyHandle> handles;
uintptr_t nextHandle = 0x1000;
DWORD writeClock = 0;

void Touch(RegKey *key) {
    ++writeClock;
    key->lastWrite.dwLowDateTime = writeClock;
    key->lastWrite.dwHighDateTime = 0x01D00000;
}

void EnsureRoots() {
    if (!localMachine) {
        localMachine = std::make_shared<RegKey>();
        localMachine->name = "HKEY_LOCAL_MACHINE";
        currentUser = std::make_shared<RegKey>();
        currentUser->name = "HKEY_CURRENT_USER";
    }
}

std::shared_ptr<RegKey> FindSubkey(const RegKey &key, const std::string &name) {
    for (const auto &sub : key.subkeys) {
        if (EqualNoCase(sub->name, name)) {
            return sub;
        }
    }
    return nullptr;
}

std::shared_ptr<RegKey> AddSubkey(RegKey *key, const std::string &name) {
    auto sub = std::make_shared<RegKey>();
    sub->name = name;
    sub->parent = key;
    Touch(sub.get());
    auto pos = std::lower_bound(key->subkeys.begin(), key->subkeys.end(), name,
                                [](const std::shared_ptr<RegKey> &k, const std::string &n) {
                                    return CompareUpper(k->name, n) < 0;
                                });
    key->subkeys.insert(pos, sub);
    Touch(key);
    return sub;
}

Value *FindValue(RegKey &key, const std::string &name) {
    for (auto &value : key.values) {
        if (EqualNoCase(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

// Splits a registry path; false when it has an empty component other than a
// trailing one (a leading or doubled backslash).
bool SplitPath(const std::string &path, std::vector<std::string> *parts) {
    parts->clear();
    if (path.empty()) {
        return true;
    }
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (part.empty()) {
            if (end == path.size() && !parts->empty()) {
                break; // one trailing backslash is accepted
            }
            return false;
        }
        parts->push_back(part);
        start = end + 1;
        if (end == path.size()) {
            break;
        }
    }
    return true;
}

// The key behind a handle: a predefined root or an open handle. Returns a
// status for invalid or deleted keys.
LONG Resolve(HKEY hKey, std::shared_ptr<RegKey> *key, REGSAM *access) {
    EnsureRoots();
    if (hKey == HKEY_LOCAL_MACHINE) {
        *key = localMachine;
        *access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    if (hKey == HKEY_CURRENT_USER) {
        *key = currentUser;
        *access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    auto it = handles.find(reinterpret_cast<uintptr_t>(hKey));
    if (it == handles.end()) {
        return ERROR_INVALID_HANDLE;
    }
    if (it->second.key->deleted) {
        return ERROR_KEY_DELETED;
    }
    *key = it->second.key;
    *access = it->second.access;
    return ERROR_SUCCESS;
}

REGSAM MapAccess(REGSAM sam) {
    REGSAM mapped =
        sam & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
    if (sam & (GENERIC_READ | GENERIC_EXECUTE)) {
        mapped |= KEY_READ;
    }
    if (sam & GENERIC_WRITE) {
        mapped |= KEY_WRITE;
    }
    if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) {
        mapped |= KEY_ALL_ACCESS;
    }
    return mapped;
}

HKEY NewHandle(const std::shared_ptr<RegKey> &key, REGSAM access) {
    uintptr_t value = nextHandle;
    nextHandle += 4;
    handles[value] = KeyHandle{key, MapAccess(access)};
    return reinterpret_cast<HKEY>(value);
}

bool IsString(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Test-side path walking, relative to HKEY_LOCAL_MACHINE.
RegKey *Walk(const std::string &path, bool create) {
    EnsureRoots();
    std::vector<std::string> parts;
    if (!SplitPath(path, &parts)) {
        Fail("registry path \"" + path + "\" is malformed");
        return nullptr;
    }
    RegKey *key = localMachine.get();
    for (const auto &part : parts) {
        std::shared_ptr<RegKey> sub = FindSubkey(*key, part);
        if (!sub) {
            if (!create) {
                return nullptr;
            }
            sub = AddSubkey(key, part);
        }
        key = sub.get();
    }
    return key;
}

void MarkDeleted(RegKey *key) {
    key->deleted = true;
    for (auto &sub : key->subkeys) {
        MarkDeleted(sub.get());
    }
}

void Seed(const std::string &path, const std::string &name, DWORD type, const std::string &data) {
    RegKey *key = Walk(path, true);
    if (!key) {
        return;
    }
    Value *value = FindValue(*key, name);
    if (value) {
        value->type = type;
        value->data = data;
    } else {
        key->values.push_back(Value{name, type, data});
    }
    Touch(key);
}

} // namespace

void ResetRegistry() {
    handles.clear();
    localMachine.reset();
    currentUser.reset();
    EnsureRoots();
}

} // namespace detail

using namespace detail;

void RegSeedKey(const std::string &path) {
    Walk(path, true);
}

void RegSeedSz(const std::string &path, const std::string &name, const std::string &value) {
    Seed(path, name, REG_SZ, value + std::string(1, '\0'));
}

void RegSeedDword(const std::string &path, const std::string &name, DWORD value) {
    std::string data(4, '\0');
    memcpy(&data[0], &value, 4);
    Seed(path, name, REG_DWORD, data);
}

void RegSeedRaw(const std::string &path, const std::string &name, DWORD type,
                const std::string &bytes) {
    Seed(path, name, type, bytes);
}

void RegRemoveKey(const std::string &path) {
    RegKey *key = Walk(path, false);
    if (!key || !key->parent) {
        return;
    }
    RegKey *parent = key->parent;
    for (auto it = parent->subkeys.begin(); it != parent->subkeys.end(); ++it) {
        if (it->get() == key) {
            MarkDeleted(key);
            parent->subkeys.erase(it);
            break;
        }
    }
}

bool RegKeyExists(const std::string &path) {
    return Walk(path, false) != nullptr;
}

bool RegValueExists(const std::string &path, const std::string &name) {
    RegKey *key = Walk(path, false);
    return key && FindValue(*key, name);
}

DWORD RegValueType(const std::string &path, const std::string &name) {
    RegKey *key = Walk(path, false);
    Value *value = key ? FindValue(*key, name) : nullptr;
    return value ? value->type : REG_NONE;
}

std::string RegValueBytes(const std::string &path, const std::string &name) {
    RegKey *key = Walk(path, false);
    Value *value = key ? FindValue(*key, name) : nullptr;
    return value ? value->data : std::string();
}

std::string RegSz(const std::string &path, const std::string &name) {
    std::string bytes = RegValueBytes(path, name);
    size_t nul = bytes.find('\0');
    return nul == std::string::npos ? bytes : bytes.substr(0, nul);
}

DWORD RegDword(const std::string &path, const std::string &name) {
    RegKey *key = Walk(path, false);
    Value *value = key ? FindValue(*key, name) : nullptr;
    if (!value || value->data.size() != 4) {
        return 0xDEADBEEF;
    }
    DWORD result;
    memcpy(&result, value->data.data(), 4);
    return result;
}

std::vector<std::string> RegSubkeys(const std::string &path) {
    std::vector<std::string> names;
    RegKey *key = Walk(path, false);
    if (key) {
        for (const auto &sub : key->subkeys) {
            names.push_back(sub->name);
        }
    }
    return names;
}

std::vector<std::string> RegValueNames(const std::string &path) {
    std::vector<std::string> names;
    RegKey *key = Walk(path, false);
    if (key) {
        for (const auto &value : key->values) {
            names.push_back(value.name);
        }
    }
    return names;
}

int RegOpenHandleCount() {
    return static_cast<int>(handles.size());
}

} // namespace sim

using namespace sim::detail;

namespace {

// Opens (or, with `create`, creates) the path below `base`; the status of
// Windows otherwise.
LONG OpenPath(const std::shared_ptr<RegKey> &base, REGSAM baseAccess, LPCSTR lpSubKey, bool create,
              std::shared_ptr<RegKey> *result, bool *created) {
    std::vector<std::string> parts;
    if (!SplitPath(lpSubKey ? lpSubKey : "", &parts)) {
        return ERROR_BAD_PATHNAME;
    }
    std::shared_ptr<RegKey> key = base;
    if (created) {
        *created = false;
    }
    for (const auto &part : parts) {
        if (part.size() > 255) {
            return ERROR_INVALID_PARAMETER;
        }
        std::shared_ptr<RegKey> sub = FindSubkey(*key, part);
        if (!sub) {
            if (!create) {
                return ERROR_FILE_NOT_FOUND;
            }
            if (key == base && !(baseAccess & KEY_CREATE_SUB_KEY)) {
                return ERROR_ACCESS_DENIED;
            }
            sub = AddSubkey(key.get(), part);
            if (created) {
                *created = true;
            }
        }
        key = sub;
    }
    *result = key;
    return ERROR_SUCCESS;
}

} // namespace

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
    Api api(nullptr);
    LONG_PTR injected = 0;
    if (Hit("RegOpenKeyExA", &injected, NULL)) {
        if (phkResult) {
            *phkResult = NULL;
        }
        return static_cast<LONG>(injected);
    }
    if (!phkResult) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = NULL;
    (void)ulOptions;
    std::shared_ptr<RegKey> base;
    REGSAM baseAccess = 0;
    LONG status = Resolve(hKey, &base, &baseAccess);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::shared_ptr<RegKey> key;
    status = OpenPath(base, baseAccess, lpSubKey, false, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    *phkResult = NewHandle(key, samDesired);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                            DWORD dwOptions, REGSAM samDesired,
                            const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    Api api(nullptr);
    LONG_PTR injected = 0;
    if (Hit("RegCreateKeyExA", &injected, NULL)) {
        if (phkResult) {
            *phkResult = NULL;
        }
        return static_cast<LONG>(injected);
    }
    (void)Reserved;
    (void)lpClass;
    (void)lpSecurityAttributes;
    if (!phkResult) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = NULL;
    if (dwOptions & ~(REG_OPTION_VOLATILE)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::shared_ptr<RegKey> base;
    REGSAM baseAccess = 0;
    LONG status = Resolve(hKey, &base, &baseAccess);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::shared_ptr<RegKey> key;
    bool created = false;
    status = OpenPath(base, baseAccess, lpSubKey, true, &key, &created);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    *phkResult = NewHandle(key, samDesired);
    if (lpdwDisposition) {
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                          LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                          PFILETIME lpftLastWriteTime) {
    Api api(nullptr);
    LONG_PTR injected = 0;
    if (Hit("RegEnumKeyExA", &injected, NULL)) {
        return static_cast<LONG>(injected);
    }
    (void)lpReserved;
    std::shared_ptr<RegKey> key;
    REGSAM access = 0;
    LONG status = Resolve(hKey, &key, &access);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!(access & KEY_ENUMERATE_SUB_KEYS)) {
        return ERROR_ACCESS_DENIED;
    }
    if (!lpName || !lpcchName) {
        return ERROR_INVALID_PARAMETER;
    }
    if (dwIndex >= key->subkeys.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const RegKey &sub = *key->subkeys[dwIndex];
    DWORD length = static_cast<DWORD>(sub.name.size());
    if (length >= *lpcchName) {
        return ERROR_MORE_DATA;
    }
    memcpy(lpName, sub.name.c_str(), length + 1);
    *lpcchName = length;
    if (lpClass && lpcchClass) {
        if (*lpcchClass == 0) {
            return ERROR_MORE_DATA;
        }
        lpClass[0] = '\0';
        *lpcchClass = 0;
    } else if (lpcchClass) {
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime) {
        *lpftLastWriteTime = sub.lastWrite;
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    Api api(nullptr);
    LONG_PTR injected = 0;
    if (Hit("RegQueryValueExA", &injected, NULL)) {
        return static_cast<LONG>(injected);
    }
    (void)lpReserved;
    std::shared_ptr<RegKey> key;
    REGSAM access = 0;
    LONG status = Resolve(hKey, &key, &access);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!(access & KEY_QUERY_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    if (lpData && !lpcbData) {
        return ERROR_INVALID_PARAMETER;
    }
    Value *value = FindValue(*key, lpValueName ? lpValueName : "");
    if (!value) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (lpType) {
        *lpType = value->type;
    }
    DWORD size = static_cast<DWORD>(value->data.size());
    if (!lpcbData) {
        return ERROR_SUCCESS;
    }
    if (!lpData) {
        *lpcbData = size;
        return ERROR_SUCCESS;
    }
    if (size > *lpcbData) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    memcpy(lpData, value->data.data(), size);
    // NT adds a NUL after a string stored without one when the buffer has room
    // for it; the size it reports stays that of the data.
    if (IsString(value->type) && size > 0 && size < *lpcbData && lpData[size - 1] != 0) {
        lpData[size] = 0;
    }
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE *lpData, DWORD cbData) {
    Api api(nullptr);
    LONG_PTR injected = 0;
    if (Hit("RegSetValueExA", &injected, NULL)) {
        return static_cast<LONG>(injected);
    }
    (void)Reserved;
    std::shared_ptr<RegKey> key;
    REGSAM access = 0;
    LONG status = Resolve(hKey, &key, &access);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!(access & KEY_SET_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    if (!lpData && cbData) {
        return ERROR_NOACCESS;
    }
    std::string data(
        reinterpret_cast<const char *>(lpData ? lpData : reinterpret_cast<const BYTE *>("")),
        cbData);
    // NT counts a string's terminating NUL when the caller left it out.
    if (cbData && IsString(dwType) && lpData[cbData - 1] && !lpData[cbData]) {
        data.push_back('\0');
    }
    std::string name = lpValueName ? lpValueName : "";
    Value *value = FindValue(*key, name);
    if (value) {
        value->type = dwType;
        value->data = data;
    } else {
        key->values.push_back(Value{name, dwType, data});
    }
    Touch(key.get());
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    Api api(nullptr);
    LONG_PTR injected = 0;
    if (Hit("RegDeleteValueA", &injected, NULL)) {
        return static_cast<LONG>(injected);
    }
    std::shared_ptr<RegKey> key;
    REGSAM access = 0;
    LONG status = Resolve(hKey, &key, &access);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!(access & KEY_SET_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    std::string name = lpValueName ? lpValueName : "";
    for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (EqualNoCase(it->name, name)) {
            key->values.erase(it);
            Touch(key.get());
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    Api api(nullptr);
    LONG_PTR injected = 0;
    if (Hit("RegDeleteKeyA", &injected, NULL)) {
        return static_cast<LONG>(injected);
    }
    if (!lpSubKey) {
        return ERROR_INVALID_PARAMETER;
    }
    std::shared_ptr<RegKey> base;
    REGSAM baseAccess = 0;
    LONG status = Resolve(hKey, &base, &baseAccess);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // The key is opened with DELETE access of its own: the rights of the
    // parent's handle do not matter.
    std::shared_ptr<RegKey> key;
    status = OpenPath(base, baseAccess, lpSubKey, false, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!key->parent) {
        return ERROR_ACCESS_DENIED; // a root
    }
    if (!key->subkeys.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    RegKey *parent = key->parent;
    for (auto it = parent->subkeys.begin(); it != parent->subkeys.end(); ++it) {
        if (*it == key) {
            parent->subkeys.erase(it);
            break;
        }
    }
    key->deleted = true;
    Touch(parent);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    Api api("RegCloseKey");
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER || hKey == HKEY_CLASSES_ROOT ||
        hKey == HKEY_USERS) {
        return ERROR_SUCCESS;
    }
    auto it = handles.find(reinterpret_cast<uintptr_t>(hKey));
    if (it == handles.end()) {
        Fail("RegCloseKey: not an open key handle (closed twice?)");
        return ERROR_INVALID_HANDLE;
    }
    handles.erase(it);
    return ERROR_SUCCESS;
}

} // extern "C"
