#include "app/app.h"

void ShowScreenMessage(HWND hDlg, UINT messageId, int controlId)
{
    LoadStringA(appInstance, messageId, messageBuffer, MESSAGE_BUFFER_SIZE);
    SetDlgItemTextA(hDlg, controlId, messageBuffer);
}

INT_PTR OpenScreen(HWND owner, int templateId, DLGPROC dialogProc)
{
    return DialogBoxParamA(appInstance, MAKEINTRESOURCE(templateId), owner, dialogProc, 0);
}
