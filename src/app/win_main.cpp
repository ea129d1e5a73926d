#include "app/app.h"
#include "screens/notices.h"
#include "restart/restart.h"
#include "resource.h"
#include "scanparam/scan_parameter.h"

#define MUTEX_NAME "TREVASK_MUTEX"

/*
 * Decides which screen comes next. The mutex is never closed: holding it
 * until the process ends is what marks this copy as running.
 */
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd)
{
    (void)hPrevInstance;
    (void)lpCmdLine;
    (void)nShowCmd;

    appInstance = hInstance;

    CreateMutexA(NULL, TRUE, MUTEX_NAME);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        OpenScreen(GetDesktopWindow(), IDD_ALREADY_RUNNING, AlreadyRunningDlgProc);
        return 0;
    }

    int platform = ClassifyPlatform();
    if (platform != OS_NT3 && platform != OS_NT4PLUS) {
        OpenScreen(GetDesktopWindow(), IDD_NOT_NT, NotNtDlgProc);
        return 0;
    }

    switch (OpenScreen(GetDesktopWindow(), IDD_CONFIRMATION, ConfirmationDlgProc)) {
    case CONFIRM_CHANGED:
        OpenScreen(GetDesktopWindow(), IDD_CHANGES_COMPLETE, ChangesCompleteDlgProc);
        break;
    case CONFIRM_NOT_CHANGED:
        OpenScreen(GetDesktopWindow(), IDD_CHANGE_FAILED, ChangeFailedDlgProc);
        break;
    default:
        /* "Exit Now!", or the screen could not be created */
        break;
    }
    return 0;
}
