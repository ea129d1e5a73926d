/* The offer to restart, and the restart itself. */
#ifndef TREVASK_RESTART_H
#define TREVASK_RESTART_H

#include "platform/windows_ops.h"

INT_PTR CALLBACK ChangesCompleteDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

/* Enables the shutdown privilege, warns about diskettes over the owner, then
   asks for a reboot. TRUE when the system accepted the request. */
BOOL RestartSystem(HWND owner);

#endif
