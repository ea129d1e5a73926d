/* Start-up, platform gate and screen sequence, and what every screen shares. */
#ifndef TREVASK_APP_H
#define TREVASK_APP_H

#include "platform/windows_ops.h"

/* Platform classes, from the GetVersion word. */
#define OS_WIN32S 1
#define OS_WIN9X 2
#define OS_NT3 4
#define OS_NT4PLUS 16

#define MESSAGE_BUFFER_SIZE 1024

/* The module instance, for every template and message. */
extern HINSTANCE appInstance;
/* Each screen's message; the parameter query borrows its first 256 bytes. */
extern char messageBuffer[MESSAGE_BUFFER_SIZE];
/* The message the confirmation screen showed: IDS_ADD_PARAMETER or IDS_REMOVE_PARAMETER. */
extern UINT confirmMessageId;

int ClassifyPlatform(void);

/* Loads a message into messageBuffer and shows it in one of the dialog's controls. */
void ShowScreenMessage(HWND hDlg, UINT messageId, int controlId);

/* Opens one of the program's modal screens over its owner and returns its end
   code. A screen that interrupts another is owned by it, so that the one
   beneath takes no input until it closes; the others belong to the desktop. */
INT_PTR OpenScreen(HWND owner, int templateId, DLGPROC dialogProc);

#endif
