// The simulated Windows itself: if it strays from the real system's
// contract, every other test proves the wrong thing.
#include <cstring>

#include "trevask_test.h"

namespace trevask_test {
namespace {

INT_PTR CALLBACK ClosesOnOk(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        EndDialog(dialog, 7);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

INT_PTR CALLBACK OpensAnotherOnOk(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_REMOVE_FLOPPIES), dialog, ClosesOnOk, 5);
        EndDialog(dialog, 1);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

INT_PTR CALLBACK ClosesOnInit(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        EndDialog(dialog, 3);
    return message == WM_INITDIALOG;
}

HKEY OpenDriverKey(REGSAM access = KEY_ALL_ACCESS)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDriverKey.c_str(), 0, access, &key), ERROR_SUCCESS);
    return key;
}

TEST_F(TrevaskTest, QueryCopiesAtMostTheGivenSize)
{
    SetDriverParameter(sim::StringValue("AdapterScansUp=1"));
    HKEY key = OpenDriverKey();
    BYTE buffer[32];
    DWORD type = 0;
    DWORD size = 10;
    EXPECT_EQ(RegQueryValueExA(key, "DriverParameter", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 17u) << "the size needed";
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "driverparameter", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 17u);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "AdapterScansUp=1");
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, buffer, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(TrevaskTest, OpenNeedsTheKeyCreateMakesThePath)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDriverKey.c_str(), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    char noClass[] = "";
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDriverKey.c_str(), 0, noClass, 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    EXPECT_EQ(sim::OpenKeyCount(), 1);
    RegCloseKey(key);
    EXPECT_TRUE(sim::KeyExists("SYSTEM\\currentcontrolset\\Services"));
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDriverKey.c_str(), 0, noClass, 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
}

TEST_F(TrevaskTest, UserWithoutRightsMayReadButNotWrite)
{
    SetDriverParameter(sim::StringValue("x"));
    sim::SetAdministrator(false);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDriverKey.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
    key = OpenDriverKey(KEY_READ);
    EXPECT_EQ(RegSetValueExA(key, "DriverParameter", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1),
              ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_EQ(DriverParameter(), sim::StringValue("x"));
}

TEST_F(TrevaskTest, BadKeyHandlesAreFaults)
{
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(uintptr_t(0x999))), ERROR_INVALID_HANDLE);
    sim::BeginProcess();
    HKEY leaked = nullptr;
    char noClass[] = "";
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, noClass, 0, KEY_ALL_ACCESS, nullptr, &leaked, nullptr);
    sim::EndProcess();
    EXPECT_EQ(sim::Faults().size(), 2u) << testing::PrintToString(sim::Faults());
    EXPECT_EQ(sim::OpenKeyCount(), 0) << "the system closes what an exiting process left open";
    sim::Reset();  // the faults above were the point of this test
}

TEST_F(TrevaskTest, NamedMutexExistsWhileAnyProcessHoldsIt)
{
    sim::BeginProcess();
    EXPECT_NE(CreateMutexA(nullptr, TRUE, "TREVASK_MUTEX"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    sim::BeginProcess();
    EXPECT_NE(CreateMutexA(nullptr, TRUE, "TREVASK_MUTEX"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    CreateMutexA(nullptr, TRUE, "trevask_mutex");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS)) << "object names are case-sensitive";
    sim::EndProcess();
    sim::EndProcess();
    sim::BeginProcess();
    CreateMutexA(nullptr, TRUE, "TREVASK_MUTEX");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS)) << "gone once every holder exited";
    sim::EndProcess();
}

TEST_F(TrevaskTest, DialogsComeFromTheModuleResources)
{
    EXPECT_EQ(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(105), nullptr, ClosesOnOk, 0), -1)
        << "105 is the icon, not a template";
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_NOT_NT), nullptr, ClosesOnOk, 0), -1)
        << "templates are found in the module passed";
    EXPECT_EQ(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_NOT_NT),
                              reinterpret_cast<HWND>(uintptr_t(0x777)), ClosesOnOk, 0),
              -1)
        << "the owner must be a window";
    EXPECT_TRUE(sim::Screens().empty());
}

TEST_F(TrevaskTest, DialogsNestAndPlayTheScriptInOrder)
{
    sim::Script({sim::Escape(IDD_CONFIRMATION), sim::Enter(IDD_CONFIRMATION), sim::Enter(IDD_REMOVE_FLOPPIES)});
    EXPECT_EQ(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_CONFIRMATION), GetDesktopWindow(),
                              OpensAnotherOnOk, 9),
              1);
    ASSERT_EQ(sim::Screens().size(), 2u);
    EXPECT_EQ(sim::Screens()[0].initParam, 9);
    EXPECT_EQ(sim::Screens()[1].depth, 1);
    EXPECT_EQ(sim::Screens()[1].initParam, 5);
    EXPECT_EQ(sim::Screens()[1].endCode, 7);
    EXPECT_EQ(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_NOT_NT), nullptr, ClosesOnInit, 0), 3);
}

TEST_F(TrevaskTest, ScriptThatRunsOutNamesTheOpenScreen)
{
    sim::Script({sim::Escape(IDD_CONFIRMATION)});
    try {
        DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_CONFIRMATION), nullptr, ClosesOnOk, 0);
        ADD_FAILURE() << "the screen cannot have closed";
    } catch (const sim::ScriptError& error) {
        EXPECT_NE(std::string(error.what()).find("screen 103 \"Confirmation\" is still open"), std::string::npos)
            << error.what();
    }
    sim::Script({sim::Enter(IDD_NOT_NT)});
    EXPECT_THROW(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_CONFIRMATION), nullptr, ClosesOnOk, 0),
                 sim::ScriptError)
        << "an action meant for another screen";
    sim::Script({sim::Press(IDD_NOT_NT, IDCANCEL)});
    EXPECT_THROW(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_NOT_NT), nullptr, ClosesOnOk, 0),
                 sim::ScriptError)
        << "the notice has no second button";
    sim::Reset();
}

TEST_F(TrevaskTest, DialogTextOnlyGoesToControlsTheTemplateHas)
{
    static bool setMissing = true;
    sim::Script({sim::Enter()});
    DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_NOT_NT), nullptr,
                    [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
                        if (message == WM_INITDIALOG) {
                            setMissing = SetDlgItemTextA(dialog, IDC_CONFIRM_TEXT, "x");
                            SetDlgItemTextA(dialog, IDC_NOT_NT_TEXT, "shown");
                        }
                        if (message == WM_COMMAND && LOWORD(wParam) == IDOK)
                            EndDialog(dialog, 0);
                        return TRUE;
                    },
                    0);
    EXPECT_FALSE(setMissing);
    EXPECT_EQ(sim::Screens()[0].Text(IDC_NOT_NT_TEXT), "shown");
    EXPECT_EQ(sim::Faults().size(), 1u);
    sim::Reset();
}

TEST_F(TrevaskTest, LoadStringCutsToTheBufferAndEndsWithNul)
{
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(LoadStringA(sim::ModuleInstance(), IDS_NOT_NT, buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "You mus");
    EXPECT_EQ(LoadStringA(sim::ModuleInstance(), 3, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

TEST_F(TrevaskTest, ShutdownNeedsTheEnabledPrivilege)
{
    sim::BeginProcess();
    char none[] = "";
    EXPECT_FALSE(InitiateSystemShutdownA(nullptr, nullptr, 0, FALSE, TRUE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PRIVILEGE_NOT_HELD));
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
    TOKEN_PRIVILEGES privileges = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr));
    EXPECT_TRUE(InitiateSystemShutdownA(none, nullptr, 0, FALSE, TRUE));
    sim::EndProcess();
    EXPECT_EQ(sim::ShutdownRequests().size(), 2u);
}

}  // namespace
}  // namespace trevask_test
