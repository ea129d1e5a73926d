/* Screens that only inform: one message and a "Close" or "OK" button. */
#ifndef TREVASK_NOTICES_H
#define TREVASK_NOTICES_H

#include "platform/windows_ops.h"

INT_PTR CALLBACK AlreadyRunningDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK NotNtDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RemoveFloppiesDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ChangeFailedDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RestartFailedDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

#endif
