// Shows TREVASK.EXE's "Restart Failed!" notice, for a screenshot of a screen
// that Wine never brings about: it never refuses a restart. The template and
// the message come from the executable's own resources and the handler is the
// program's own, linked in, so the picture shows what the program would.
//
//   screen_preview TREVASK.EXE
#include <cstdio>

#include "app/app.h"
#include "resource.h"
#include "screens/notices.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: screen_preview TREVASK.EXE\n");
        return 2;
    }
    // The program's screens and messages all come from appInstance.
    appInstance = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!appInstance) {
        std::fprintf(stderr, "screen_preview: cannot load %s\n", argv[1]);
        return 1;
    }
    return OpenScreen(GetDesktopWindow(), IDD_RESTART_FAILED, RestartFailedDlgProc) == -1 ? 1 : 0;
}
