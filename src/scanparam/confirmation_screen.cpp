#include "scanparam/scan_parameter.h"
#include "app/app.h"
#include "resource.h"

/*
 * Announces the change that the value's current state calls for, and on
 * "Continue" makes exactly that change, without reading the value again.
 */
INT_PTR CALLBACK ConfirmationDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;

    switch (message) {
    case WM_INITDIALOG:
        /* The query borrows messageBuffer, so it must come before the message is loaded. */
        confirmMessageId = ScanParameterPresent() ? IDS_REMOVE_PARAMETER : IDS_ADD_PARAMETER;
        ShowScreenMessage(hDlg, confirmMessageId, IDC_CONFIRM_TEXT);
        return TRUE;

    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: {
            BOOL written = confirmMessageId == IDS_ADD_PARAMETER ? AddScanParameter() : RemoveScanParameter();
            EndDialog(hDlg, written ? CONFIRM_CHANGED : CONFIRM_NOT_CHANGED);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(hDlg, CONFIRM_EXIT);
            return TRUE;
        }
        break;
    }
    return FALSE;
}
