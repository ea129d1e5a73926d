// The simulated registry: keys under HKEY_LOCAL_MACHINE with typed values.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/sim_world.h"

namespace sim {
namespace {

constexpr REGSAM WRITE_ACCESS = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// The rights the user has to every key: all of them for an administrator,
// none that write for anyone else.
REGSAM UserRights() { return TheWorld().administrator ? KEY_ALL_ACCESS : KEY_ALL_ACCESS & ~WRITE_ACCESS; }

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

Key* Child(Key* key, const std::string& name)
{
    auto found = key->subkeys.find(Lower(name));
    return found == key->subkeys.end() ? nullptr : found->second.get();
}

// The one walk down a relative key path ('\\'-separated), as far as the keys
// exist: the deepest key reached, with the names not found left in *missing
// (none when the whole path exists). nullptr for a malformed path (an empty
// name in it).
Key* Walk(Key* from, const std::string& path, std::vector<std::string>* missing)
{
    missing->clear();
    Key* key = from;
    for (size_t start = 0; !path.empty() && start <= path.size();) {
        size_t end = std::min(path.find('\\', start), path.size());
        std::string name = path.substr(start, end - start);
        if (name.empty())
            return nullptr;
        Key* next = missing->empty() ? Child(key, name) : nullptr;
        if (next)
            key = next;
        else
            missing->push_back(name);
        start = end + 1;
    }
    return key;
}

Key* MakeKeys(Key* key, const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        auto made = std::make_unique<Key>();
        made->name = name;
        Key* next = made.get();
        key->subkeys[Lower(name)] = std::move(made);
        key = next;
    }
    return key;
}

// The key at a path under HKEY_LOCAL_MACHINE, or nullptr when it does not exist.
Key* Existing(const std::string& keyPath)
{
    std::vector<std::string> missing;
    Key* key = Walk(&TheWorld().root, keyPath, &missing);
    return key && missing.empty() ? key : nullptr;
}

// The key behind a handle the program passes, and the access it was opened
// with; nullptr with a fault.
Key* KeyOf(HKEY hKey, const char* function, REGSAM* access)
{
    World& w = TheWorld();
    if (hKey == HKEY_LOCAL_MACHINE) {
        *access = UserRights();
        return &w.root;
    }
    auto found = w.openKeys.find(hKey);
    if (found == w.openKeys.end()) {
        RecordFault(std::string(function) + " on a key handle that is not open: " + DescribeHandle(hKey));
        return nullptr;
    }
    *access = found->second.access;
    return found->second.key;
}

HKEY NewKeyHandle(Key* key, REGSAM access)
{
    World& w = TheWorld();
    HKEY handle = static_cast<HKEY>(NewHandle());
    w.openKeys[handle] = OpenKey{{CurrentProcessId(), ++w.keysOpened}, key, access};
    return handle;
}

bool RefusedToUser(REGSAM access) { return access & ~UserRights(); }

// What opening and creating a key share: the key the handle names, a place
// for the new handle, and the walk down the path. ERROR_SUCCESS, with the
// deepest key that exists in *key and the names below it that do not in
// *missing; otherwise the error to return.
LONG WalkFromHandle(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult, const char* function, Key** key,
                    std::vector<std::string>* missing)
{
    REGSAM parentAccess;
    Key* parent = KeyOf(hKey, function, &parentAccess);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    if (!phkResult) {
        RecordFault(std::string(function) + " without a place for the key");
        return ERROR_INVALID_PARAMETER;
    }
    *key = Walk(parent, lpSubKey ? lpSubKey : "", missing);
    return *key ? ERROR_SUCCESS : ERROR_BAD_PATHNAME;
}

}  // namespace

void SetRegistryValue(const std::string& keyPath, const std::string& name, RegistryValue value)
{
    std::vector<std::string> missing;
    Key* key = Walk(&TheWorld().root, keyPath, &missing);
    if (!key)
        throw std::invalid_argument("bad registry path: " + keyPath);
    key = MakeKeys(key, missing);
    key->values[Lower(name)] = Key::NamedValue{name, std::move(value)};
}

std::optional<RegistryValue> GetRegistryValue(const std::string& keyPath, const std::string& name)
{
    Key* key = Existing(keyPath);
    if (!key)
        return std::nullopt;
    auto found = key->values.find(Lower(name));
    if (found == key->values.end())
        return std::nullopt;
    return found->second.value;
}

bool KeyExists(const std::string& keyPath) { return Existing(keyPath) != nullptr; }

int OpenKeyCount() { return int(TheWorld().openKeys.size()); }

}  // namespace sim

using namespace sim;

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    if (auto error = BeginCall("RegOpenKeyExA", {DescribeHandle(hKey), DescribeString(lpSubKey),
                                                 std::to_string(ulOptions), Hex(samDesired)}))
        return LONG(*error);
    Key* key;
    std::vector<std::string> missing;
    if (LONG error = WalkFromHandle(hKey, lpSubKey, phkResult, "RegOpenKeyExA", &key, &missing))
        return error;
    if (!missing.empty())
        return ERROR_FILE_NOT_FOUND;
    if (RefusedToUser(samDesired))
        return ERROR_ACCESS_DENIED;
    *phkResult = NewKeyHandle(key, samDesired);
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition)
{
    if (auto error = BeginCall("RegCreateKeyExA",
                               {DescribeHandle(hKey), DescribeString(lpSubKey), std::to_string(Reserved),
                                DescribeString(lpClass), std::to_string(dwOptions), Hex(samDesired),
                                lpSecurityAttributes ? "attributes" : "NULL"}))
        return LONG(*error);
    Key* key;
    std::vector<std::string> missing;
    if (LONG error = WalkFromHandle(hKey, lpSubKey, phkResult, "RegCreateKeyExA", &key, &missing))
        return error;
    if (Reserved != 0)
        return ERROR_INVALID_PARAMETER;
    bool creates = !missing.empty();
    if (RefusedToUser(samDesired | (creates ? KEY_CREATE_SUB_KEY : 0)))
        return ERROR_ACCESS_DENIED;
    *phkResult = NewKeyHandle(MakeKeys(key, missing), samDesired);
    if (lpdwDisposition)
        *lpdwDisposition = creates ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData)
{
    if (auto error = BeginCall("RegQueryValueExA",
                               {DescribeHandle(hKey), DescribeString(lpValueName), lpReserved ? "reserved" : "NULL",
                                lpType ? "type" : "NULL", lpData ? "buffer" : "NULL",
                                lpcbData ? std::to_string(*lpcbData) : "NULL"}))
        return LONG(*error);
    REGSAM access;
    Key* key = KeyOf(hKey, "RegQueryValueExA", &access);
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    if (!(access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    auto found = key->values.find(Lower(lpValueName ? lpValueName : ""));
    if (found == key->values.end())
        return ERROR_FILE_NOT_FOUND;
    const RegistryValue& value = found->second.value;
    DWORD size = DWORD(value.data.size());
    if (lpType)
        *lpType = value.type;
    if (!lpData) {
        if (lpcbData)
            *lpcbData = size;
        return ERROR_SUCCESS;
    }
    DWORD capacity = *lpcbData;
    MarkWritable(lpData, capacity);
    *lpcbData = size;
    if (size > capacity) {
        // What a too-small buffer holds afterwards is undefined; leave the
        // head of the data there, so that code ignoring the error is caught.
        std::memcpy(lpData, value.data.data(), capacity);
        return ERROR_MORE_DATA;
    }
    if (size)
        std::memcpy(lpData, value.data.data(), size);
    MarkUnreadable(lpData + size, capacity - size);
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, CONST BYTE* lpData,
                           DWORD cbData)
{
    // The data is logged as text when it is a NUL-ended string of exactly cbData bytes.
    bool text = lpData && cbData && lpData[cbData - 1] == 0 && std::memchr(lpData, 0, cbData) == lpData + cbData - 1;
    if (auto error = BeginCall("RegSetValueExA",
                               {DescribeHandle(hKey), DescribeString(lpValueName), std::to_string(Reserved),
                                std::to_string(dwType),
                                text ? DescribeString(reinterpret_cast<LPCSTR>(lpData)) : lpData ? "data" : "NULL",
                                std::to_string(cbData)}))
        return LONG(*error);
    REGSAM access;
    Key* key = KeyOf(hKey, "RegSetValueExA", &access);
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (Reserved != 0 || (!lpData && cbData))
        return ERROR_INVALID_PARAMETER;
    if (!(access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    RegistryValue value;
    value.type = dwType;
    if (cbData)
        value.data.assign(lpData, lpData + cbData);
    std::string name = lpValueName ? lpValueName : "";
    key->values[Lower(name)] = Key::NamedValue{name, std::move(value)};
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey)
{
    BeginCall("RegCloseKey", {DescribeHandle(hKey)});
    if (hKey == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    if (!TheWorld().openKeys.erase(hKey)) {
        RecordFault("RegCloseKey on a key handle that is not open: " + DescribeHandle(hKey));
        return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}
