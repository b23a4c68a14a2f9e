// The in-memory registry: the HKEY_LOCAL_MACHINE tree, handles that remember
// their access rights, and the test API to seed and inspect keys.
#include "sim_internal.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

namespace sim {
namespace detail {
namespace {

using Value = RegValue;

struct RegKey {
    std::string name;
    RegKey *parent = nullptr;
    bool deleted = false;
    std::vector<std::shared_ptr<RegKey>> subkeys; // in case-insensitive name order
    std::vector<Value> values;                    // in creation order
};

struct KeyHandle {
    std::shared_ptr<RegKey> key;
    REGSAM access;
};

std::shared_ptr<RegKey> machine = std::make_shared<RegKey>(); // HKEY_LOCAL_MACHINE
std::map<uintptr_t, KeyHandle> handles;
uintptr_t nextHandle = 0x1000;
unsigned changes = 0;

// The upper-case form of a name's byte, as the C library's toupper gives
// it in the "C" locale the stand-in runs in, without a call per byte.
inline int Upper(char c) {
    int u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? u - ('a' - 'A') : u;
}

// Names compare as the registry compares them: by their upper-case forms.
int CompareNames(const std::string &a, const char *b, size_t bSize) {
    for (size_t i = 0; i < a.size() && i < bSize; ++i) {
        int ca = Upper(a[i]);
        int cb = Upper(b[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == bSize ? 0 : (a.size() < bSize ? -1 : 1);
}

int CompareNames(const std::string &a, const std::string &b) {
    return CompareNames(a, b.data(), b.size());
}

// The subkey `name` (`size` bytes) of `key`, made when missing if `create`;
// NULL if not.
std::shared_ptr<RegKey> Subkey(RegKey *key, const char *name, size_t size, bool create) {
    auto pos = std::lower_bound(key->subkeys.begin(), key->subkeys.end(), name,
                                [size](const std::shared_ptr<RegKey> &k, const char *n) {
                                    return CompareNames(k->name, n, size) < 0;
                                });
    if (pos != key->subkeys.end() && CompareNames((*pos)->name, name, size) == 0)
        return *pos;
    if (!create)
        return nullptr;
    changes++;
    auto sub = std::make_shared<RegKey>();
    sub->name.assign(name, size);
    sub->parent = key;
    key->subkeys.insert(pos, sub);
    return sub;
}

// The key at `path` (backslash separated) below `key`, with the missing
// keys made if `create`; NULL when one is missing.
std::shared_ptr<RegKey> Walk(std::shared_ptr<RegKey> key, const std::string &path, bool create) {
    for (size_t start = 0; key && start < path.size();) {
        size_t end = std::min(path.find('\\', start), path.size());
        if (end > start)
            key = Subkey(key.get(), path.data() + start, end - start, create);
        start = end + 1;
    }
    return key;
}

Value *FindValue(RegKey &key, const std::string &name) {
    for (auto &value : key.values)
        if (CompareNames(value.name, name) == 0)
            return &value;
    return nullptr;
}

void SetValue(RegKey &key, const std::string &name, DWORD type, std::string data) {
    changes++;
    if (Value *value = FindValue(key, name)) {
        value->type = type;
        value->bytes = std::move(data);
    } else {
        key.values.push_back(Value{name, type, std::move(data)});
    }
}

void MarkDeleted(RegKey &key) {
    key.deleted = true;
    for (auto &sub : key.subkeys)
        MarkDeleted(*sub);
}

void Unlink(RegKey &key) {
    changes++;
    auto &siblings = key.parent->subkeys;
    siblings.erase(std::find_if(siblings.begin(), siblings.end(),
                                [&](const std::shared_ptr<RegKey> &k) { return k.get() == &key; }));
}

// The start of every registry function: counts the call (a fallible one,
// described by the key's name and `what` it names), applies a FailCall or
// FailNthFallible request, finds the key behind the handle and checks that
// the handle has `right`. ERROR_SUCCESS, or the status the function returns.
template <class What>
LONG Enter(Fn function, HKEY hKey, const What &what, REGSAM right, std::shared_ptr<RegKey> *key,
           REGSAM *access = nullptr) {
    auto it = handles.find(reinterpret_cast<uintptr_t>(hKey));
    bool fail = FallibleHit([&] {
        std::string keyName = hKey == HKEY_LOCAL_MACHINE ? "HKLM"
                              : it != handles.end()      ? it->second.key->name
                                                         : "(invalid)";
        return std::string(FunctionName(function)) + " " + keyName + " " + what();
    });
    LONG_PTR injected = 0;
    if (Hit(function, &injected))
        return static_cast<LONG>(injected);
    if (fail)
        return FallibleStatus();
    REGSAM granted = KEY_ALL_ACCESS;
    if (hKey == HKEY_LOCAL_MACHINE) {
        *key = machine;
    } else {
        if (it == handles.end())
            return ERROR_INVALID_HANDLE;
        if (it->second.key->deleted)
            return ERROR_KEY_DELETED;
        *key = it->second.key;
        granted = it->second.access;
    }
    if (access)
        *access = granted;
    return (granted & right) == right ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

HKEY NewHandle(const std::shared_ptr<RegKey> &key, REGSAM access) {
    uintptr_t value = nextHandle;
    nextHandle += 4;
    handles[value] = KeyHandle{key, access};
    return reinterpret_cast<HKEY>(value);
}

// The parent of the last key that the tests looked up, where they mostly
// look up the next one.
std::string cachedPath;
std::shared_ptr<RegKey> cachedParent;

// Test-side paths are relative to HKEY_LOCAL_MACHINE.
RegKey *TestKey(const std::string &path, bool create = false) {
    size_t cut = path.rfind('\\');
    if (cut == std::string::npos || cut + 1 == path.size())
        return Walk(machine, path, create).get();
    if (!cachedParent || cachedParent->deleted || path.compare(0, cut, cachedPath) != 0 ||
        cut != cachedPath.size()) {
        cachedParent = Walk(machine, path.substr(0, cut), create);
        cachedPath = cachedParent ? path.substr(0, cut) : "";
    }
    return cachedParent
               ? Subkey(cachedParent.get(), path.data() + cut + 1, path.size() - cut - 1, create)
                     .get()
               : nullptr;
}

Value *TestValue(const std::string &path, const std::string &name) {
    RegKey *key = TestKey(path);
    return key ? FindValue(*key, name) : nullptr;
}

} // namespace

void ResetRegistry() {
    handles.clear();
    machine = std::make_shared<RegKey>();
    cachedParent = nullptr;
    changes = 0;
}

} // namespace detail

using namespace detail;

void RegSeedKey(const std::string &path) {
    TestKey(path, true);
}

void RegSeedSz(const std::string &path, const std::string &name, const std::string &value) {
    std::string bytes;
    bytes.reserve(value.size() + 1);
    bytes.append(value).push_back('\0');
    SetValue(*TestKey(path, true), name, REG_SZ, std::move(bytes));
}

void RegSeedDword(const std::string &path, const std::string &name, DWORD value) {
    RegSeedRaw(path, name, REG_DWORD, std::string(reinterpret_cast<const char *>(&value), 4));
}

void RegSeedRaw(const std::string &path, const std::string &name, DWORD type,
                const std::string &bytes) {
    SetValue(*TestKey(path, true), name, type, bytes);
}

void RegRemoveKey(const std::string &path) {
    RegKey *key = TestKey(path);
    if (!key || !key->parent)
        return;
    MarkDeleted(*key);
    Unlink(*key);
}

bool RegKeyExists(const std::string &path) {
    return TestKey(path) != nullptr;
}

bool RegValueExists(const std::string &path, const std::string &name) {
    return TestValue(path, name) != nullptr;
}

DWORD RegValueType(const std::string &path, const std::string &name) {
    Value *value = TestValue(path, name);
    return value ? value->type : REG_NONE;
}

std::string RegValueBytes(const std::string &path, const std::string &name) {
    Value *value = TestValue(path, name);
    return value ? value->bytes : std::string();
}

std::string RegSz(const std::string &path, const std::string &name) {
    std::string bytes = RegValueBytes(path, name);
    return bytes.substr(0, bytes.find('\0'));
}

DWORD RegDword(const std::string &path, const std::string &name) {
    Value *value = TestValue(path, name);
    DWORD result = 0xDEADBEEF;
    if (value && value->bytes.size() == 4)
        memcpy(&result, value->bytes.data(), 4);
    return result;
}

std::vector<std::string> RegSubkeys(const std::string &path) {
    std::vector<std::string> names;
    if (RegKey *key = TestKey(path))
        for (const auto &sub : key->subkeys)
            names.push_back(sub->name);
    return names;
}

const std::vector<RegValue> &RegValues(const std::string &path) {
    static const std::vector<RegValue> none;
    RegKey *key = TestKey(path);
    return key ? key->values : none;
}

std::vector<std::string> RegValueNames(const std::string &path) {
    std::vector<std::string> names;
    if (RegKey *key = TestKey(path))
        for (const auto &value : key->values)
            names.push_back(value.name);
    return names;
}

unsigned RegChangeCount() {
    return changes;
}

int RegOpenHandleCount() {
    return static_cast<int>(handles.size());
}

} // namespace sim

using namespace sim::detail;

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
    (void)ulOptions;
    *phkResult = NULL;
    std::shared_ptr<RegKey> key;
    auto what = [&] { return std::string(lpSubKey ? lpSubKey : ""); };
    LONG status = Enter(Fn::RegOpenKeyExA_, hKey, what, 0, &key);
    if (status != ERROR_SUCCESS)
        return status;
    key = Walk(key, lpSubKey ? lpSubKey : "", false);
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    *phkResult = NewHandle(key, samDesired);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                            DWORD dwOptions, REGSAM samDesired,
                            const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
    (void)Reserved;
    (void)lpClass;
    (void)dwOptions;
    (void)lpSecurityAttributes;
    *phkResult = NULL;
    std::shared_ptr<RegKey> base;
    REGSAM access = 0;
    auto what = [&] { return std::string(lpSubKey); };
    LONG status = Enter(Fn::RegCreateKeyExA_, hKey, what, 0, &base, &access);
    if (status != ERROR_SUCCESS)
        return status;
    std::shared_ptr<RegKey> key = Walk(base, lpSubKey, false);
    bool created = !key;
    if (created && !(access & KEY_CREATE_SUB_KEY))
        return ERROR_ACCESS_DENIED;
    if (created)
        key = Walk(base, lpSubKey, true);
    *phkResult = NewHandle(key, samDesired);
    if (lpdwDisposition)
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                          LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                          PFILETIME lpftLastWriteTime) {
    (void)lpReserved; // the program asks for neither class nor time
    (void)lpClass;
    (void)lpcchClass;
    (void)lpftLastWriteTime;
    std::shared_ptr<RegKey> key;
    auto what = [&] { return std::to_string(dwIndex); };
    LONG status = Enter(Fn::RegEnumKeyExA_, hKey, what, KEY_ENUMERATE_SUB_KEYS, &key);
    if (status != ERROR_SUCCESS)
        return status;
    if (dwIndex >= key->subkeys.size())
        return ERROR_NO_MORE_ITEMS;
    const std::string &name = key->subkeys[dwIndex]->name;
    if (name.size() >= *lpcchName)
        return ERROR_MORE_DATA;
    memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
    (void)lpReserved;
    std::shared_ptr<RegKey> key;
    std::string name = lpValueName ? lpValueName : "";
    auto what = [&] { return name + (lpData ? "" : " size"); };
    LONG status = Enter(Fn::RegQueryValueExA_, hKey, what, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return status;
    Value *value = FindValue(*key, name);
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (lpType)
        *lpType = value->type;
    DWORD size = static_cast<DWORD>(value->bytes.size());
    if (!lpcbData)
        return ERROR_SUCCESS;
    if (lpData && size > *lpcbData)
        status = ERROR_MORE_DATA;
    else if (lpData)
        memcpy(lpData, value->bytes.data(), size);
    // NT adds a NUL after a string stored without one when the buffer has room
    // for it; the size it reports stays that of the data.
    bool text =
        value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ;
    if (lpData && text && size > 0 && size < *lpcbData && lpData[size - 1] != 0)
        lpData[size] = 0;
    *lpcbData = size;
    return status;
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE *lpData, DWORD cbData) {
    (void)Reserved;
    std::shared_ptr<RegKey> key;
    auto what = [&] { return std::string(lpValueName ? lpValueName : ""); };
    LONG status = Enter(Fn::RegSetValueExA_, hKey, what, KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return status;
    SetValue(*key, lpValueName ? lpValueName : "", dwType,
             std::string(reinterpret_cast<const char *>(lpData), cbData));
    return ERROR_SUCCESS;
}

// The key is opened with DELETE access of its own: the rights of the
// parent's handle do not matter.
LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    std::shared_ptr<RegKey> key;
    auto what = [&] { return std::string(lpSubKey); };
    LONG status = Enter(Fn::RegDeleteKeyA_, hKey, what, 0, &key);
    if (status != ERROR_SUCCESS)
        return status;
    key = Walk(key, lpSubKey, false);
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    if (!key->parent || !key->subkeys.empty())
        return ERROR_ACCESS_DENIED; // a root, or a key with subkeys
    Unlink(*key);
    key->deleted = true;
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    Count(Fn::RegCloseKey_);
    if (hKey == HKEY_LOCAL_MACHINE || handles.erase(reinterpret_cast<uintptr_t>(hKey)))
        return ERROR_SUCCESS;
    Fail("RegCloseKey: not an open key handle (closed twice?)");
    return ERROR_INVALID_HANDLE;
}

} // extern "C"
