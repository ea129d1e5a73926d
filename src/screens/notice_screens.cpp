#include "screens/notices.h"
#include "app/app.h"
#include "resource.h"

/*
 * What every notice does. Only IDOK closes it: Escape arrives as IDCANCEL,
 * which a notice leaves unhandled, so the notice stays until it is read.
 */
static INT_PTR NoticeDlgProc(HWND hDlg, UINT message, WPARAM wParam, UINT messageId, int controlId)
{
    switch (message) {
    case WM_INITDIALOG:
        ShowScreenMessage(hDlg, messageId, controlId);
        return TRUE;

    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(hDlg, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

/* The notices differ only in their message and the control that shows it. */
#define NOTICE(name, messageId, controlId) \
    INT_PTR CALLBACK name(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) \
    { \
        (void)lParam; \
        return NoticeDlgProc(hDlg, message, wParam, messageId, controlId); \
    }

NOTICE(AlreadyRunningDlgProc, IDS_ALREADY_RUNNING, IDC_RUNNING_TEXT)
NOTICE(NotNtDlgProc, IDS_NOT_NT, IDC_NOT_NT_TEXT)
NOTICE(RemoveFloppiesDlgProc, IDS_REMOVE_DISKETTES, IDC_FLOPPY_TEXT)
NOTICE(ChangeFailedDlgProc, IDS_CHANGE_FAILED, IDC_FAILED_TEXT)
NOTICE(RestartFailedDlgProc, IDS_RESTART_FAILED, IDC_RESTART_FAILED_TEXT)
