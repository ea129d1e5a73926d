// Simulated kernel32 and the token, privilege and shutdown calls of advapi32.
#include <strings.h>

#include "platform/sim_world.h"

namespace sim {
namespace {

constexpr DWORD SHUTDOWN_PRIVILEGE_LUID = 19;  // SE_SHUTDOWN_PRIVILEGE on every NT

std::string DescribeLuid(const LUID& luid)
{
    return std::to_string(luid.LowPart) + ":" + std::to_string(luid.HighPart);
}

std::string DescribePrivileges(const TOKEN_PRIVILEGES* privileges)
{
    if (!privileges)
        return "NULL";
    std::string text = "{" + std::to_string(privileges->PrivilegeCount);
    for (DWORD i = 0; i < privileges->PrivilegeCount; i++)
        text += ", " + DescribeLuid(privileges->Privileges[i].Luid) + " " + Hex(privileges->Privileges[i].Attributes);
    return text + "}";
}

}  // namespace
}  // namespace sim

using namespace sim;

DWORD WINAPI GetVersion(void)
{
    BeginCall("GetVersion", {});
    return TheWorld().version;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName)
{
    World& w = TheWorld();
    if (BeginCall("CreateMutexA", {lpMutexAttributes ? "attributes" : "NULL", DescribeBool(bInitialOwner),
                                   DescribeString(lpName)}))
        return NULL;
    std::string name = lpName ? lpName : "";
    bool existed = false;
    if (!name.empty())
        for (const auto& [handle, mutex] : w.heldMutexes)
            existed = existed || mutex.name == name;  // object names are case-sensitive
    HANDLE handle = NewHandle();
    w.heldMutexes[handle] = HeldMutex{{CurrentProcessId(), ++w.mutexesCreated}, name};
    w.lastError = existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    return handle;
}

DWORD WINAPI GetLastError(void)
{
    BeginCall("GetLastError", {});
    return TheWorld().lastError;
}

HANDLE WINAPI GetCurrentProcess(void)
{
    BeginCall("GetCurrentProcess", {});
    return CurrentProcessHandle();
}

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle)
{
    World& w = TheWorld();
    if (BeginCall("OpenProcessToken", {DescribeHandle(ProcessHandle), Hex(DesiredAccess)}))
        return FALSE;
    if (ProcessHandle != CurrentProcessHandle()) {
        RecordFault("OpenProcessToken on a handle that is not a process: " + DescribeHandle(ProcessHandle));
        w.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (!TokenHandle) {
        RecordFault("OpenProcessToken without a place for the token");
        w.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    HANDLE token = NewHandle();
    w.openTokens[token] = OpenToken{{CurrentProcessId(), ++w.tokensOpened}, DesiredAccess};
    *TokenHandle = token;
    return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid)
{
    World& w = TheWorld();
    if (BeginCall("LookupPrivilegeValueA", {DescribeString(lpSystemName), DescribeString(lpName)}))
        return FALSE;
    if (lpSystemName && *lpSystemName) {
        w.lastError = ERROR_BAD_NETPATH;
        return FALSE;
    }
    if (!lpName || strcasecmp(lpName, SE_SHUTDOWN_NAME) != 0) {
        w.lastError = ERROR_NO_SUCH_PRIVILEGE;
        return FALSE;
    }
    lpLuid->LowPart = SHUTDOWN_PRIVILEGE_LUID;
    lpLuid->HighPart = 0;
    return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges, PTOKEN_PRIVILEGES NewState,
                                  DWORD BufferLength, PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength)
{
    World& w = TheWorld();
    if (BeginCall("AdjustTokenPrivileges", {DescribeHandle(TokenHandle), DescribeBool(DisableAllPrivileges),
                                            DescribePrivileges(NewState), std::to_string(BufferLength),
                                            PreviousState ? "previous" : "NULL", ReturnLength ? "length" : "NULL"}))
        return FALSE;
    auto token = w.openTokens.find(TokenHandle);
    if (token == w.openTokens.end()) {
        w.lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (!(token->second.access & TOKEN_ADJUST_PRIVILEGES)) {
        w.lastError = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    if (PreviousState && !ReturnLength) {
        w.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    Process* process = nullptr;
    for (Process& candidate : w.processes)
        if (candidate.id == token->second.process)
            process = &candidate;
    if (DisableAllPrivileges) {
        if (process)
            process->shutdownEnabled = false;
        w.lastError = ERROR_SUCCESS;
        return TRUE;
    }
    if (!NewState) {
        w.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    bool allAssigned = true;
    for (DWORD i = 0; i < NewState->PrivilegeCount; i++) {
        const LUID_AND_ATTRIBUTES& entry = NewState->Privileges[i];
        if (entry.Luid.LowPart == SHUTDOWN_PRIVILEGE_LUID && entry.Luid.HighPart == 0 && w.shutdownPrivilegeHeld) {
            if (process)
                process->shutdownEnabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        } else {
            allAssigned = false;
        }
    }
    // Succeeds even when some privilege was not held; only the error code tells.
    w.lastError = allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED;
    return TRUE;
}

BOOL WINAPI InitiateSystemShutdownA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed,
                                    BOOL bRebootAfterShutdown)
{
    World& w = TheWorld();
    std::optional<DWORD> failure =
        BeginCall("InitiateSystemShutdownA", {DescribeString(lpMachineName), DescribeString(lpMessage),
                                              std::to_string(dwTimeout), DescribeBool(bForceAppsClosed),
                                              DescribeBool(bRebootAfterShutdown)});
    DWORD error = ERROR_SUCCESS;
    if (failure)
        error = *failure;
    else if (lpMachineName && *lpMachineName)
        error = ERROR_BAD_NETPATH;
    else if (!CurrentProcess() || !CurrentProcess()->shutdownEnabled)
        error = ERROR_PRIVILEGE_NOT_HELD;
    // Every request is recorded, the refused ones too.
    w.shutdowns.push_back(ShutdownRequest{error == ERROR_SUCCESS});
    if (error != ERROR_SUCCESS) {
        w.lastError = error;
        return FALSE;
    }
    return TRUE;
}
