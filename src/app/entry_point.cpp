#include "app/app.h"

/*
 * Where the process starts. There is no C runtime to call WinMain, so this
 * does its one job: pass the module, the command line and the show state,
 * and end the process with WinMain's result.
 */
extern "C" void WINAPI WinMainCRTStartup(void)
{
    ExitProcess(WinMain(GetModuleHandleA(NULL), NULL, GetCommandLineA(), SW_SHOWDEFAULT));
}
