#include "app/app.h"

int ClassifyPlatform(void)
{
    DWORD version = GetVersion();
    int major = (int)(version & 0xFF);

    if (version & 0x80000000)
        return major == 3 ? OS_WIN32S : OS_WIN9X;
    return major == 3 ? OS_NT3 : OS_NT4PLUS;
}
