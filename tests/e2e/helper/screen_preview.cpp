// Shows one of TREVASK.EXE's screens straight from its resources, with its
// message, for a screenshot of a screen that Wine cannot bring about (Wine
// never refuses a restart).
//
//   screen_preview TREVASK.EXE TEMPLATE MESSAGE CONTROL
#include <windows.h>

#include <cstdio>
#include <cstdlib>

static HMODULE program;
static UINT messageId;
static int controlId;

static INT_PTR CALLBACK PreviewDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    char text[1024];
    switch (message) {
    case WM_INITDIALOG:
        LoadStringA(program, messageId, text, sizeof text);
        SetDlgItemTextA(dialog, controlId, text);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: screen_preview TREVASK.EXE TEMPLATE MESSAGE CONTROL\n");
        return 2;
    }
    program = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!program) {
        std::fprintf(stderr, "screen_preview: cannot load %s\n", argv[1]);
        return 1;
    }
    messageId = UINT(std::atoi(argv[3]));
    controlId = std::atoi(argv[4]);
    INT_PTR result = DialogBoxParamA(program, MAKEINTRESOURCEA(std::atoi(argv[2])), GetDesktopWindow(),
                                     PreviewDlgProc, 0);
    return result == -1 ? 1 : 0;
}
