#include "scanparam/scan_parameter.h"
#include "app/app.h"

#define DRIVER_KEY "System\\CurrentControlSet\\Services\\Tv38_410\\Parameters\\Device"
#define VALUE_NAME "DriverParameter"
#define KEYWORD "AdapterScansUp"
#define ADD_TEXT "AdapterScansUp=1"
#define REMOVE_TEXT ""
/* A longer value does not fit and counts as absent. */
#define QUERY_BUFFER_SIZE 256

/*
 * Whatever the value's type, its bytes are searched as text: up to the
 * first NUL, and never past the bytes the query returned, since the
 * value need not be NUL-terminated.
 */
static int TextHasKeyword(const char* text, DWORD size)
{
    const DWORD keywordLength = sizeof(KEYWORD) - 1;
    DWORD length = 0;
    while (length < size && text[length] != '\0')
        length++;

    for (DWORD start = 0; start + keywordLength <= length; start++) {
        DWORD matched = 0;
        while (matched < keywordLength && text[start + matched] == KEYWORD[matched])
            matched++;
        if (matched == keywordLength)
            return 1;
    }
    return 0;
}

/* size counts the terminating NUL. */
static BOOL SetDriverParameter(HKEY key, const char* text, DWORD size)
{
    return RegSetValueExA(key, VALUE_NAME, 0, REG_SZ, (const BYTE*)text, size) == ERROR_SUCCESS;
}

int ScanParameterPresent(void)
{
    HKEY key;
    DWORD type;
    DWORD size = QUERY_BUFFER_SIZE;
    int present = 0;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DRIVER_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;
    if (RegQueryValueExA(key, VALUE_NAME, NULL, &type, (LPBYTE)messageBuffer, &size) == ERROR_SUCCESS)
        present = TextHasKeyword(messageBuffer, size);
    RegCloseKey(key);
    return present;
}

BOOL AddScanParameter(void)
{
    static char noClass[] = "";
    HKEY key;
    DWORD disposition;

    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, DRIVER_KEY, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                        &key, &disposition) != ERROR_SUCCESS)
        return FALSE;
    BOOL written = SetDriverParameter(key, ADD_TEXT, sizeof(ADD_TEXT));
    RegCloseKey(key);
    return written;
}

/* Opens rather than creates: with no key there is nothing to remove. */
BOOL RemoveScanParameter(void)
{
    HKEY key;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DRIVER_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return FALSE;
    BOOL written = SetDriverParameter(key, REMOVE_TEXT, sizeof(REMOVE_TEXT));
    RegCloseKey(key);
    return written;
}
