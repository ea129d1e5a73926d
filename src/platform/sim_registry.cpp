// The simulated registry: keys under HKEY_LOCAL_MACHINE with typed values.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "sim_world.h"

namespace sim {
namespace {

constexpr REGSAM WRITE_ACCESS = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Splits a relative key path; an empty component makes the path invalid.
bool SplitPath(const std::string& path, std::vector<std::string>* parts)
{
    parts->clear();
    if (path.empty())
        return true;
    size_t start = 0;
    while (true) {
        size_t end = path.find('\\', start);
        std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part.empty())
            return false;
        parts->push_back(part);
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

Key* Child(Key* key, const std::string& name)
{
    auto found = key->subkeys.find(Lower(name));
    return found == key->subkeys.end() ? nullptr : found->second.get();
}

// The key behind a handle the program passes, or nullptr with a fault.
Key* KeyOf(HKEY hKey, const char* function, REGSAM* access)
{
    World& w = TheWorld();
    if (hKey == HKEY_LOCAL_MACHINE) {
        *access = KEY_ALL_ACCESS;
        return &w.root;
    }
    auto found = w.keys.find(hKey);
    if (found == w.keys.end()) {
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
    Process* process = CurrentProcess();
    w.keys[handle] = KeyHandle{key, access, process ? process->id : 0, ++w.keysOpened};
    return handle;
}

bool RefusedToUser(REGSAM access)
{
    return !TheWorld().administrator && (access & WRITE_ACCESS);
}

Key* WalkTo(const std::string& keyPath, bool create)
{
    std::vector<std::string> parts;
    if (!SplitPath(keyPath, &parts))
        return nullptr;
    Key* key = &TheWorld().root;
    for (const std::string& part : parts) {
        Key* next = Child(key, part);
        if (!next && create) {
            auto made = std::make_unique<Key>();
            made->name = part;
            next = made.get();
            key->subkeys[Lower(part)] = std::move(made);
        }
        if (!next)
            return nullptr;
        key = next;
    }
    return key;
}

}  // namespace

void SetRegistryValue(const std::string& keyPath, const std::string& name, RegistryValue value)
{
    Key* key = WalkTo(keyPath, true);
    if (!key)
        throw std::invalid_argument("bad registry path: " + keyPath);
    key->values[Lower(name)] = Key::NamedValue{name, std::move(value)};
}

std::optional<RegistryValue> GetRegistryValue(const std::string& keyPath, const std::string& name)
{
    Key* key = WalkTo(keyPath, false);
    if (!key)
        return std::nullopt;
    auto found = key->values.find(Lower(name));
    if (found == key->values.end())
        return std::nullopt;
    return found->second.value;
}

bool KeyExists(const std::string& keyPath) { return WalkTo(keyPath, false) != nullptr; }

int OpenKeyCount() { return int(TheWorld().keys.size()); }

}  // namespace sim

using namespace sim;

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    LogCall("RegOpenKeyExA(" + DescribeHandle(hKey) + ", " + DescribeString(lpSubKey) + ", " +
            std::to_string(ulOptions) + ", " + Hex(samDesired) + ")");
    DWORD error;
    if (InjectedFailureFor("RegOpenKeyExA", &error))
        return LONG(error);
    REGSAM parentAccess;
    Key* parent = KeyOf(hKey, "RegOpenKeyExA", &parentAccess);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    if (!phkResult) {
        RecordFault("RegOpenKeyExA without a place for the key");
        return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::string> parts;
    if (!SplitPath(lpSubKey ? lpSubKey : "", &parts))
        return ERROR_BAD_PATHNAME;
    Key* key = parent;
    for (const std::string& part : parts)
        if (!(key = Child(key, part)))
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
    LogCall("RegCreateKeyExA(" + DescribeHandle(hKey) + ", " + DescribeString(lpSubKey) + ", " +
            std::to_string(Reserved) + ", " + DescribeString(lpClass) + ", " + std::to_string(dwOptions) + ", " +
            Hex(samDesired) + ", " + (lpSecurityAttributes ? "attributes" : "NULL") + ")");
    DWORD error;
    if (InjectedFailureFor("RegCreateKeyExA", &error))
        return LONG(error);
    REGSAM parentAccess;
    Key* parent = KeyOf(hKey, "RegCreateKeyExA", &parentAccess);
    if (!parent)
        return ERROR_INVALID_HANDLE;
    if (!phkResult) {
        RecordFault("RegCreateKeyExA without a place for the key");
        return ERROR_INVALID_PARAMETER;
    }
    if (Reserved != 0)
        return ERROR_INVALID_PARAMETER;
    std::vector<std::string> parts;
    if (!SplitPath(lpSubKey ? lpSubKey : "", &parts))
        return ERROR_BAD_PATHNAME;

    Key* key = parent;
    size_t existing = 0;
    while (existing < parts.size()) {
        Key* next = Child(key, parts[existing]);
        if (!next)
            break;
        key = next;
        existing++;
    }
    bool creates = existing < parts.size();
    if (RefusedToUser(samDesired | (creates ? KEY_CREATE_SUB_KEY : 0)))
        return ERROR_ACCESS_DENIED;
    for (size_t i = existing; i < parts.size(); i++) {
        auto made = std::make_unique<Key>();
        made->name = parts[i];
        Key* next = made.get();
        key->subkeys[Lower(parts[i])] = std::move(made);
        key = next;
    }
    *phkResult = NewKeyHandle(key, samDesired);
    if (lpdwDisposition)
        *lpdwDisposition = creates ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData)
{
    LogCall("RegQueryValueExA(" + DescribeHandle(hKey) + ", " + DescribeString(lpValueName) + ", " +
            (lpReserved ? "reserved" : "NULL") + ", " + (lpType ? "type" : "NULL") + ", " +
            (lpData ? "buffer" : "NULL") + ", " + (lpcbData ? std::to_string(*lpcbData) : "NULL") + ")");
    DWORD error;
    if (InjectedFailureFor("RegQueryValueExA", &error))
        return LONG(error);
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
    std::string shown = "RegSetValueExA(" + DescribeHandle(hKey) + ", " + DescribeString(lpValueName) + ", " +
                        std::to_string(Reserved) + ", " + std::to_string(dwType) + ", ";
    // The data is logged as text when it is a NUL-ended string of exactly cbData bytes.
    if (lpData && cbData && lpData[cbData - 1] == 0 && std::memchr(lpData, 0, cbData) == lpData + cbData - 1)
        shown += DescribeString(reinterpret_cast<LPCSTR>(lpData));
    else
        shown += lpData ? "data" : "NULL";
    LogCall(shown + ", " + std::to_string(cbData) + ")");
    DWORD error;
    if (InjectedFailureFor("RegSetValueExA", &error))
        return LONG(error);
    REGSAM access;
    Key* key = KeyOf(hKey, "RegSetValueExA", &access);
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (Reserved != 0 || (!lpData && cbData))
        return ERROR_INVALID_PARAMETER;
    if (!(access & KEY_SET_VALUE) || !TheWorld().administrator)
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
    LogCall("RegCloseKey(" + DescribeHandle(hKey) + ")");
    World& w = TheWorld();
    if (hKey == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    if (!w.keys.erase(hKey)) {
        RecordFault("RegCloseKey on a key handle that is not open: " + DescribeHandle(hKey));
        return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}
