// Keeps Wine's desktop up for the programs of a scenario, and says when it is.
//
//   desktop_keeper          stays on the desktop until it is killed, and prints
//                           "ready" once a new process can make a window there
//   desktop_keeper --probe  exits 0 when this process can make a window, 1 when not
//
// Wine starts its desktop process (explorer) for the first program that needs
// the desktop, waits a fixed 10 s for it, and closes the desktop again about
// a second after the last program has left it. A program that comes while
// explorer is still starting gets no display driver ("The explorer process
// failed to start") and shows no screen at all. On a slow machine, an emulated
// one above all, explorer takes longer than that. While this runs, the
// desktop and its explorer stay up, and once it has said "ready" a program
// finds them started.
#include <windows.h>

#include <cstdio>
#include <cstring>

static int Probe()
{
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!window)
        return 1;
    DestroyWindow(window);
    return 0;
}

// A process that fails to load the display driver never tries again, so each
// try is a process of its own.
static bool ProbeInNewProcess()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    char command[MAX_PATH + 16];
    std::snprintf(command, sizeof command, "\"%s\" --probe", path);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "desktop_keeper: cannot start %s: error %lu\n", command, GetLastError());
        ExitProcess(1);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code == 0;
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--probe") == 0)
        return Probe();
    if (argc != 1) {
        std::fprintf(stderr, "usage: desktop_keeper [--probe]\n");
        return 2;
    }
    // On the desktop from here on; Wine starts explorer for it if need be.
    GetDesktopWindow();
    while (!ProbeInNewProcess())
        Sleep(200);
    std::puts("ready");
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
