#include "restart/restart.h"
#include "app/app.h"
#include "screens/notices.h"
#include "resource.h"

/* Offers the restart that makes the change take effect. */
INT_PTR CALLBACK ChangesCompleteDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;

    switch (message) {
    case WM_INITDIALOG:
        ShowScreenMessage(hDlg, IDS_RESTART_PROMPT, IDC_RESTART_TEXT);
        return TRUE;

    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            /* Owned by this screen, so that its buttons cannot start a second restart meanwhile. */
            if (!RestartSystem(hDlg))
                OpenScreen(hDlg, IDD_RESTART_FAILED, RestartFailedDlgProc);
            EndDialog(hDlg, 0);
            return TRUE;
        case IDCANCEL:
            EndDialog(hDlg, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
