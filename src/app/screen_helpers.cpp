#include "app.h"

void ShowScreenMessage(HWND hDlg, UINT messageId, int controlId)
{
    LoadStringA(appInstance, messageId, messageBuffer, MESSAGE_BUFFER_SIZE);
    SetDlgItemTextA(hDlg, controlId, messageBuffer);
}

INT_PTR OpenScreen(int templateId, DLGPROC dialogProc)
{
    return DialogBoxParamA(appInstance, MAKEINTRESOURCE(templateId), GetDesktopWindow(), dialogProc, 0);
}
