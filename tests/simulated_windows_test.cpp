// The simulated Windows itself: if it strays from the real system's
// contract, every other test proves the wrong thing.
#include <cstring>

#include "support/trevask_test.h"

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

HKEY OpenDriverKey(REGSAM access = KEY_ALL_ACCESS, std::source_location caller = std::source_location::current())
{
    HKEY key = nullptr;
    if (LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDriverKey, 0, access, &key))
        ADD_FAILURE_AT(caller.file_name(), int(caller.line())) << "RegOpenKeyExA failed with " << error;
    return key;
}

TEST_F(TrevaskTest, QueryCopiesAtMostTheGivenSize)
{
    SetDriverParameter(kSet);
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
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), kParameter);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, buffer, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(TrevaskTest, OpenNeedsTheKeyCreateMakesThePath)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDriverKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    char noClass[] = "";
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDriverKey, 0, noClass, 0, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    EXPECT_EQ(sim::OpenKeyCount(), 1);
    RegCloseKey(key);
    EXPECT_TRUE(sim::KeyExists("SYSTEM\\currentcontrolset\\Services"));
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDriverKey, 0, noClass, 0, KEY_ALL_ACCESS, nullptr, &key,
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
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDriverKey, 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
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
    EXPECT_EQ(sim::OpenKeyCount(), 0) << "the system closes what an exiting process left open";
    EXPECT_EQ(sim::TakeFaults().size(), 2u);
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
    EXPECT_EQ(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDI_APP), nullptr, ClosesOnOk, 0), -1)
        << "the icon is no template";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_NOT_NT),
                              reinterpret_cast<HWND>(uintptr_t(0x777)), ClosesOnOk, 0),
              0)
        << "an owner that is no window makes no dialog, and the result is 0 for compatibility";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_TRUE(sim::Screens().empty());
    sim::Script({sim::Enter(IDD_NOT_NT)});
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_NOT_NT), nullptr, ClosesOnOk, 0), 7)
        << "no instance stands for the process's own module";
    EXPECT_EQ(sim::Screens().size(), 1u);
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

// On IDOK opens the diskette notice, owned by itself or by the desktop as
// lParam says, and stays open; IDCANCEL ends it.
INT_PTR CALLBACK OpensANoticeOnOk(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    static bool ownNotice = true;
    if (message == WM_INITDIALOG) {
        ownNotice = lParam != 0;
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_REMOVE_FLOPPIES),
                        ownNotice ? dialog : GetDesktopWindow(), ClosesOnOk, 0);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 2);
        return TRUE;
    }
    return FALSE;
}

TEST_F(TrevaskTest, OwnerTakesNoInputWhileTheScreenItOwnsIsOpen)
{
    bool enabledBeneath = true;
    sim::Script({sim::Enter(IDD_CONFIRMATION), sim::Press(IDD_CONFIRMATION, IDCANCEL), sim::Escape(IDD_CONFIRMATION),
                 sim::Meanwhile(IDD_REMOVE_FLOPPIES, [&] { enabledBeneath = sim::Screens()[0].enabled; }),
                 sim::Enter(IDD_REMOVE_FLOPPIES), sim::Escape(IDD_CONFIRMATION)});
    EXPECT_EQ(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_CONFIRMATION), GetDesktopWindow(),
                              OpensANoticeOnOk, 1),
              2);
    const sim::ScreenRecord& owner = sim::Screens()[0];
    EXPECT_FALSE(enabledBeneath);
    EXPECT_EQ(owner.ignored, (std::vector<std::string>{"press button 2 on screen 103", "Escape on screen 103"}));
    EXPECT_EQ(owner.Commands(), (std::vector<int>{IDOK, IDCANCEL})) << "input again once the notice closed";
    EXPECT_TRUE(owner.enabled);
}

TEST_F(TrevaskTest, DesktopOwnedScreenLeavesTheOneBeneathOpenToInput)
{
    sim::Script({sim::Enter(IDD_CONFIRMATION), sim::Press(IDD_CONFIRMATION, IDCANCEL), sim::Enter(IDD_REMOVE_FLOPPIES),
                 sim::Escape(IDD_CONFIRMATION)});
    EXPECT_EQ(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_CONFIRMATION), GetDesktopWindow(),
                              OpensANoticeOnOk, 0),
              2);
    EXPECT_TRUE(sim::Screens()[0].ignored.empty());
    EXPECT_EQ(sim::Screens()[0].ignored.size() + sim::ActionsLeft().size(), 1u)
        << "the screen beneath ended while the notice was open, so the last Escape reached no open screen";
    sim::Script({});
}

INT_PTR CALLBACK ClosesWithTheCommand(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return lParam;  // FALSE: the handler keeps the system from setting the focus
    if (message == WM_COMMAND) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

struct KeysCase : Row {
    LPARAM focusFirstTabStop;
    std::vector<sim::Action> keys;
    INT_PTR command;
};


class DialogKeysTest : public TrevaskTest, public testing::WithParamInterface<KeysCase> {};

TEST_P(DialogKeysTest, SendTheCommandTheRealDialogManagerSends)
{
    sim::Script(GetParam().keys);
    EXPECT_EQ(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_CONFIRMATION), nullptr, ClosesWithTheCommand,
                              GetParam().focusFirstTabStop),
              GetParam().command);
}

INSTANTIATE_TEST_SUITE_P(
    Confirmation, DialogKeysTest,
    testing::Values(KeysCase{"EnterPressesTheDefault", TRUE, {sim::Enter()}, IDOK},
                    KeysCase{"EnterPressesTheFocusedButton", TRUE, {sim::Tab(), sim::Enter()}, IDCANCEL},
                    KeysCase{"TabWrapsAround", TRUE, {sim::Tab(), sim::Tab(), sim::Enter()}, IDOK},
                    KeysCase{"SpacePressesTheFocusedButton", TRUE, {sim::Tab(), sim::Space()}, IDCANCEL},
                    KeysCase{"ClickMovesTheFocus", TRUE, {sim::Press(IDD_CONFIRMATION, IDCANCEL, 9)}, IDCANCEL},
                    KeysCase{"EscapeSendsCancel", TRUE, {sim::Escape()}, IDCANCEL},
                    KeysCase{"WithoutFocusEnterPressesTheDefault", FALSE, {sim::Enter()}, IDOK},
                    KeysCase{"WithoutFocusTabFindsTheFirstTabStop", FALSE, {sim::Tab(), sim::Space()}, IDOK}),
    RowName());

TEST_F(TrevaskTest, SpaceWithoutAFocusedButtonDoesNothing)
{
    sim::Script({sim::Space(), sim::Escape()});
    EXPECT_EQ(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_CONFIRMATION), nullptr, ClosesWithTheCommand,
                              FALSE),
              IDCANCEL);
    EXPECT_EQ(sim::Screens()[0].ignored.size(), 1u);
}

TEST_F(TrevaskTest, WhatAHandlerReturnsIsRecordedForEveryMessage)
{
    sim::Script({sim::Escape(), sim::Enter()});
    DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_NOT_NT), nullptr, ClosesOnOk, 0);
    std::vector<std::tuple<UINT, INT_PTR, size_t>> handled;
    for (const sim::HandlerCall& call : sim::Screens()[0].handled)
        handled.emplace_back(call.message, call.result, call.platformCalls);
    EXPECT_EQ(handled, (std::vector<std::tuple<UINT, INT_PTR, size_t>>{
                           {WM_SETFONT, FALSE, 0}, {WM_INITDIALOG, TRUE, 0}, {WM_COMMAND, FALSE, 0},
                           {WM_COMMAND, TRUE, 1}}));
    EXPECT_EQ(sim::Screens()[0].focus, IDOK) << "TRUE from WM_INITDIALOG gives the first tab stop the focus";
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
        << "an action meant for a screen that is not open";
    sim::Script({sim::Press(IDD_NOT_NT, IDCANCEL)});
    EXPECT_THROW(DialogBoxParamA(sim::ModuleInstance(), MAKEINTRESOURCEA(IDD_NOT_NT), nullptr, ClosesOnOk, 0),
                 sim::ScriptError)
        << "the notice has no second button";
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
                        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
                            EndDialog(dialog, 0);
                            return TRUE;
                        }
                        return message == WM_INITDIALOG;
                    },
                    0);
    EXPECT_FALSE(setMissing);
    EXPECT_EQ(sim::Screens()[0].Text(IDC_NOT_NT_TEXT), "shown");
    EXPECT_EQ(sim::TakeFaults().size(), 1u);
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
