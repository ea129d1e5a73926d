/* The driver's scan-order parameter and the screen that changes it. */
#ifndef TREVASK_SCAN_PARAMETER_H
#define TREVASK_SCAN_PARAMETER_H

#include "platform/windows_ops.h"

/* End codes of the confirmation screen. */
#define CONFIRM_EXIT 0        /* "Exit Now!": nothing was changed */
#define CONFIRM_CHANGED 1     /* "Continue" and the value was written */
#define CONFIRM_NOT_CHANGED 2 /* "Continue" but the value could not be written */

/* 1 when "DriverParameter" can be read and holds "AdapterScansUp", else 0. */
int ScanParameterPresent(void);
/* Replace the value with "AdapterScansUp=1"; TRUE when it was written. */
BOOL AddScanParameter(void);
/* Replace the value with the empty string; TRUE when it was written. */
BOOL RemoveScanParameter(void);

INT_PTR CALLBACK ConfirmationDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

#endif
