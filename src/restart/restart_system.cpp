#include "restart/restart.h"
#include "app/app.h"
#include "screens/notices.h"
#include "resource.h"

/* The token is left open: the process ends right after the restart request. */
static void EnableShutdownPrivilege(void)
{
    HANDLE token = NULL;
    TOKEN_PRIVILEGES privileges;

    /* Field by field: the Windows build has no C runtime to lend memset. */
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid.LowPart = 0;
    privileges.Privileges[0].Luid.HighPart = 0;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;

    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
    LookupPrivilegeValueA(NULL, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
}

BOOL RestartSystem(HWND owner)
{
    EnableShutdownPrivilege();
    OpenScreen(owner, IDD_REMOVE_FLOPPIES, RemoveFloppiesDlgProc);
    /* Local machine, no message, no delay, nothing forced closed, reboot afterwards. */
    return InitiateSystemShutdownA(NULL, NULL, 0, FALSE, TRUE);
}
