/* Resource numbers shared by the resource script and the program. */
#ifndef TREVASK_RESOURCE_H
#define TREVASK_RESOURCE_H

/* Messages */
#define IDS_ALREADY_RUNNING     1
#define IDS_ADD_PARAMETER       2
#define IDS_REMOVE_PARAMETER    4
#define IDS_NOT_NT              5
#define IDS_RESTART_PROMPT      6
#define IDS_REMOVE_DISKETTES    7
#define IDS_CHANGE_FAILED       8
#define IDS_RESTART_FAILED      9

/* Dialog templates */
#define IDD_ALREADY_RUNNING     102
#define IDD_CONFIRMATION        103
#define IDD_NOT_NT              104
#define IDD_CHANGES_COMPLETE    106
#define IDD_REMOVE_FLOPPIES     107
#define IDD_CHANGE_FAILED       108
#define IDD_RESTART_FAILED      109

/* The icon */
#define IDI_APP                 105

/* Message text controls */
#define IDC_RUNNING_TEXT        1002
#define IDC_CONFIRM_TEXT        1003
#define IDC_NOT_NT_TEXT         1004
#define IDC_RESTART_TEXT        1005
#define IDC_FLOPPY_TEXT         1006
#define IDC_FAILED_TEXT         1007
#define IDC_RESTART_FAILED_TEXT 1008

#endif
