// Sets up registry states that reg.exe cannot make, for the end-to-end tests.
//
//   registry_seed volatile-key PATH            creates HKLM\PATH as a volatile key
//   registry_seed set PATH NAME TYPE HEX       stores exactly these bytes, with no NUL added
//
// Under a volatile key no lasting key can be created, which is how Wine can
// be made to refuse the program's write: Wine does not enforce access rights.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

static int Fail(const char* what, LONG error)
{
    std::fprintf(stderr, "registry_seed: %s failed with error %ld\n", what, error);
    return 1;
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "volatile-key") == 0) {
        HKEY key;
        LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, argv[2], 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                     nullptr, &key, nullptr);
        if (error != ERROR_SUCCESS)
            return Fail("RegCreateKeyExA", error);
        RegCloseKey(key);
        return 0;
    }
    if (argc == 6 && std::strcmp(argv[1], "set") == 0) {
        std::vector<BYTE> bytes;
        for (const char* hex = argv[5]; hex[0] && hex[1]; hex += 2) {
            char pair[3] = {hex[0], hex[1], 0};
            bytes.push_back(BYTE(std::strtoul(pair, nullptr, 16)));
        }
        // A byte past the data that is not NUL, so that nothing is added to a string.
        bytes.push_back('x');
        HKEY key;
        LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, argv[2], 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (error != ERROR_SUCCESS)
            return Fail("RegCreateKeyExA", error);
        error = RegSetValueExA(key, argv[3], 0, DWORD(std::strtoul(argv[4], nullptr, 0)), bytes.data(),
                               DWORD(bytes.size() - 1));
        RegCloseKey(key);
        return error == ERROR_SUCCESS ? 0 : Fail("RegSetValueExA", error);
    }
    std::fprintf(stderr, "usage: registry_seed volatile-key PATH | set PATH NAME TYPE HEX\n");
    return 2;
}
