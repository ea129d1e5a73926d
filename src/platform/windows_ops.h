/*
 * The program's only door to the system: the Win32 calls it makes, under
 * their own names, types and constants.
 *
 * On Windows this is <windows.h> itself. Elsewhere it declares the same
 * subset with the real values and signatures, and the simulated Windows in
 * this folder implements it (simulated_windows.h). Every Win32 name either
 * side needs is declared here, spelled as <windows.h> spells it, so the
 * simulation coins no names of its own for the platform's constants. The
 * rule for every call:
 * registry calls return ERROR_SUCCESS (0) or a system error code; the others
 * report failure by their documented result (FALSE, NULL, 0 or -1) and leave
 * the reason for GetLastError. Above each call, one line says what the
 * program relies on from it, which is what the simulation must honour.
 */
#ifndef TREVASK_WINDOWS_OPS_H
#define TREVASK_WINDOWS_OPS_H

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#else

#include <stdint.h>

#define WINAPI
#define CALLBACK
#define CONST const

#ifndef NULL
#define NULL 0
#endif
#define FALSE 0
#define TRUE 1

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef char CHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef void* LPVOID;
typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;

#define DECLARE_HANDLE(name) \
    struct name##__ { int unused; }; \
    typedef struct name##__* name
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HKEY);
typedef HINSTANCE HMODULE;
typedef HKEY* PHKEY;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _LUID {
    DWORD LowPart;
    LONG HighPart;
} LUID, *PLUID;

typedef struct _LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
} LUID_AND_ATTRIBUTES;

#define ANYSIZE_ARRAY 1
typedef struct _TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[ANYSIZE_ARRAY];
} TOKEN_PRIVILEGES, *PTOKEN_PRIVILEGES;

typedef INT_PTR (CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define LOWORD(l) ((WORD)(((ULONG_PTR)(l)) & 0xffff))
#define MAKELONG(a, b) ((LONG)(((WORD)(((ULONG_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((ULONG_PTR)(b)) & 0xffff))) << 16))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA

/* System error codes */
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_BAD_NETPATH 53L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NOT_ALL_ASSIGNED 1300L
#define ERROR_NO_SUCH_PRIVILEGE 1313L
#define ERROR_PRIVILEGE_NOT_HELD 1314L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

/* Window messages and commands */
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_SETFONT 0x0030
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define BN_CLICKED 0
#define IDOK 1
#define IDCANCEL 2
#define SW_SHOWDEFAULT 10

/* Window, dialog and button styles, as dialog templates carry them */
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_SYSMENU 0x00080000L
#define WS_TABSTOP 0x00010000L
#define DS_SETFONT 0x40L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_TYPEMASK 0x0000000FL

/* Resource types */
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)
#define RT_MANIFEST MAKEINTRESOURCE(24)

/* Registry */
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_CREATE_LINK 0x0020
#define DELETE 0x00010000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#define KEY_READ 0x20019
#define KEY_ALL_ACCESS 0xF003F
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L
#define REG_NONE 0
#define REG_SZ 1
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

/* Tokens and privileges */
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define TOKEN_QUERY 0x0008
#define SE_PRIVILEGE_ENABLED 0x00000002L
#define SE_SHUTDOWN_NAME "SeShutdownPrivilege"

/* kernel32 */
/* Bit 31 set on platforms other than Windows NT; the low byte is the major version. */
DWORD WINAPI GetVersion(void);
/* A handle to the named mutex, new or existing; afterwards GetLastError says which. */
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
/* Right after CreateMutexA: ERROR_ALREADY_EXISTS if and only if the name existed before the call. */
DWORD WINAPI GetLastError(void);
/* A pseudo-handle for this process, which needs no closing. */
HANDLE WINAPI GetCurrentProcess(void);

/* advapi32: registry */
/* Opens an existing key with the access asked for; ERROR_ACCESS_DENIED when it is refused. */
LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
/* Opens a key, making the missing keys along the path. */
LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition);
/* Copies at most *lpcbData bytes and sets *lpcbData to the value's size; fails when the value is missing
   (ERROR_FILE_NOT_FOUND) or larger than the buffer (ERROR_MORE_DATA), whatever its type. */
LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData);
/* Replaces the whole value with exactly cbData bytes of the given type. */
LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, CONST BYTE* lpData,
                           DWORD cbData);
/* Closes a key that RegOpenKeyExA or RegCreateKeyExA opened. */
LONG WINAPI RegCloseKey(HKEY hKey);

/* advapi32: token, privileges and shutdown */
/* The process's token, opened with the access asked for; *TokenHandle is left alone on failure. */
BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
/* The local identifier of a privilege on the local system (lpSystemName NULL). */
BOOL WINAPI LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid);
/* Enables the listed privileges that the token holds; succeeds even when some are not held. */
BOOL WINAPI AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges, PTOKEN_PRIVILEGES NewState,
                                  DWORD BufferLength, PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength);
/* Starts a shutdown of the machine; TRUE when the system accepted it, which needs the shutdown privilege enabled. */
BOOL WINAPI InitiateSystemShutdownA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout,
                                    BOOL bForceAppsClosed, BOOL bRebootAfterShutdown);

/* user32 */
/* Runs a modal dialog from a numeric template of the module (NULL: the process's own) until its handler calls
   EndDialog, and returns that code: 0 when the owner is not a window, -1 when the dialog cannot be made for any
   other reason. An owner other than the desktop takes no input while the dialog is open. */
INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam);
/* Marks the dialog to end with nResult once its handler returns, and gives its owner input back. */
BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult);
/* Sets the text of one of the dialog's controls. */
BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
/* Copies a message of the module's string table, cut to cchBufferMax - 1 characters and ended with NUL. */
int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);
/* The desktop window, the owner of the screens that interrupt nothing. */
HWND WINAPI GetDesktopWindow(void);

/* The program's entry, called once by the start-up code with the module's instance; its result is the exit code. */
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);

#endif /* _WIN32 */

#endif /* TREVASK_WINDOWS_OPS_H */
