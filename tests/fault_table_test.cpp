// Each platform call fails in turn during a whole run: no crash, no key left
// open, no screen claims a success that did not happen, and what must still
// come after the failure comes, call by call.
#include <algorithm>
#include <optional>

#include "support/trevask_test.h"

namespace trevask_test {
namespace {

using CallTexts = std::vector<std::string>;

struct FaultCase : Row {
    const char* function;
    int succeedFirst;
    std::vector<int> screens;
    bool written;
    CallTexts after;  // every call the program makes after the one that failed; {} for none
};

// Pieces of the call log, for the rows below to say what follows a failure.
CallTexts Then(std::initializer_list<CallTexts> pieces)
{
    CallTexts calls;
    for (const CallTexts& piece : pieces)
        calls.insert(calls.end(), piece.begin(), piece.end());
    return calls;
}

// A screen fills its text control from the message table; when the message
// cannot be loaded, it shows the empty text the failed load leaves.
CallTexts Shows(int dialog, int control, int message, bool loaded = true)
{
    std::string text = loaded ? Message(message) : "";
    return {"LoadStringA(Module, " + std::to_string(message) + ", buffer, 1024)",
            "SetDlgItemTextA(dialog" + std::to_string(dialog) + ", " + std::to_string(control) + ", \"" + text + "\")"};
}

const std::string kKeyPath = "\"System\\CurrentControlSet\\Services\\Tv38_410\\Parameters\\Device\"";

// "Continue" with the value absent: the key, as the numbered handle it gets, is created and written.
CallTexts WriteAndContinue(int key)
{
    std::string handle = "hkey" + std::to_string(key);
    return {"RegCreateKeyExA(HKEY_LOCAL_MACHINE, " + kKeyPath + ", 0, \"\", 0, 0xf003f, NULL)",
            "RegSetValueExA(" + handle + ", \"DriverParameter\", 0, 1, \"AdapterScansUp=1\", 17)",
            "RegCloseKey(" + handle + ")", "EndDialog(dialog103, 1)"};
}

CallTexts Completion(bool loaded = true)
{
    return Then({{"GetDesktopWindow()", "DialogBoxParamA(Module, 106, Desktop, proc, 0)"},
                 Shows(IDD_CHANGES_COMPLETE, IDC_RESTART_TEXT, IDS_RESTART_PROMPT, loaded)});
}

// The adjustment gets the record the program built: one entry, enabled, with the identifier the lookup gave.
const CallTexts kPrivilege = {"GetCurrentProcess()", "OpenProcessToken(CurrentProcess, 0x28)",
                              "LookupPrivilegeValueA(NULL, \"SeShutdownPrivilege\")",
                              "AdjustTokenPrivileges(token1, FALSE, {1, 19:0 0x2}, 0, NULL, NULL)"};

CallTexts DisketteNotice(bool loaded = true)
{
    return Then({{"DialogBoxParamA(Module, 107, dialog106, proc, 0)"},
                 Shows(IDD_REMOVE_FLOPPIES, IDC_FLOPPY_TEXT, IDS_REMOVE_DISKETTES, loaded),
                 {"EndDialog(dialog107, 0)"}});
}

const CallTexts kRestart = {"InitiateSystemShutdownA(NULL, NULL, 0, FALSE, TRUE)"};
const CallTexts kEndCompletion = {"EndDialog(dialog106, 0)"};

CallTexts RestartFailedNotice()
{
    return Then({{"DialogBoxParamA(Module, 109, dialog106, proc, 0)"},
                 Shows(IDD_RESTART_FAILED, IDC_RESTART_FAILED_TEXT, IDS_RESTART_FAILED), {"EndDialog(dialog109, 0)"}});
}

CallTexts ChangeFailedNotice()
{
    return Then({{"EndDialog(dialog103, 2)", "GetDesktopWindow()", "DialogBoxParamA(Module, 108, Desktop, proc, 0)"},
                 Shows(IDD_CHANGE_FAILED, IDC_FAILED_TEXT, IDS_CHANGE_FAILED), {"EndDialog(dialog108, 0)"}});
}

CallTexts FromCompletionOn()
{
    return Then({Completion(), kPrivilege, DisketteNotice(), kRestart, kEndCompletion});
}

const CallTexts kOpenKey = {"RegOpenKeyExA(HKEY_LOCAL_MACHINE, " + kKeyPath + ", 0, 0xf003f)"};
const CallTexts kReadValue = {"RegQueryValueExA(hkey1, \"DriverParameter\", NULL, type, buffer, 256)",
                              "RegCloseKey(hkey1)"};

// The confirmation screen from its read of the value on, and all that follows.
CallTexts FromConfirmationOn()
{
    return Then({kOpenKey, kReadValue, Shows(IDD_CONFIRMATION, IDC_CONFIRM_TEXT, IDS_ADD_PARAMETER),
                 WriteAndContinue(2), FromCompletionOn()});
}

// The calls after the one that failed: the (succeedFirst + 1)th call of the
// function is the first to fail.
std::optional<std::vector<sim::Call>> CallsAfterTheFailure(const FaultCase& row)
{
    int seen = 0;
    for (auto call = sim::Calls().begin(); call != sim::Calls().end(); ++call)
        if (call->function == row.function && seen++ == row.succeedFirst)
            return std::vector<sim::Call>(call + 1, sim::Calls().end());
    return std::nullopt;
}


class FaultTableTest : public TrevaskTest, public testing::WithParamInterface<FaultCase> {};

bool Shown(int templateId)
{
    std::vector<int> ids = sim::ScreenIds();
    return std::find(ids.begin(), ids.end(), templateId) != ids.end();
}

// The driver's key exists, so that every registry call is reached, and its
// value lacks the keyword, so that the program is about to add it.
const sim::RegistryValue kOtherParameters = sim::StringValue("MaxTags=32");

// The user presses Enter once on each screen the run is to show.
TEST_P(FaultTableTest, RunGoesOnHonestly)
{
    const FaultCase& row = GetParam();
    SetDriverParameter(kOtherParameters);
    sim::FailCall(row.function, ERROR_ACCESS_DENIED, row.succeedFirst);
    sim::Script(std::vector<sim::Action>(row.screens.size(), sim::Enter()));

    EXPECT_EQ(RunTrevask(), 0);

    std::optional<std::vector<sim::Call>> after = CallsAfterTheFailure(row);
    ASSERT_TRUE(after) << "the run never reached the call that was to fail";
    EXPECT_TRUE(CallsAre(*after, row.after)) << "what followed the failure of " << row.function;
    EXPECT_EQ(sim::ScreenIds(), row.screens);
    EXPECT_EQ(DriverParameter(), row.written ? sim::StringValue("AdapterScansUp=1") : kOtherParameters);
    if (Shown(IDD_CHANGES_COMPLETE)) {
        EXPECT_TRUE(row.written) << "the completion screen says the registry was modified";
    }
    bool restarted = !sim::ShutdownRequests().empty() && sim::ShutdownRequests().back().accepted;
    if (Shown(IDD_REMOVE_FLOPPIES)) {
        EXPECT_NE(restarted, Shown(IDD_RESTART_FAILED)) << "a refused restart must be told, an accepted one not";
    }
}

const std::vector<int> kAdded = {IDD_CONFIRMATION, IDD_CHANGES_COMPLETE, IDD_REMOVE_FLOPPIES};
const std::vector<int> kRestartRefused = {IDD_CONFIRMATION, IDD_CHANGES_COMPLETE, IDD_REMOVE_FLOPPIES,
                                          IDD_RESTART_FAILED};
const std::vector<int> kNotWritten = {IDD_CONFIRMATION, IDD_CHANGE_FAILED};

const std::vector<FaultCase> kFaultTable = {
    {"CreateMutexA", "CreateMutexA", 0, kAdded, true,
     Then({{"GetLastError()", "GetVersion()", "GetDesktopWindow()", "DialogBoxParamA(Module, 103, Desktop, proc, 0)"},
           FromConfirmationOn()})},
    // A key that cannot be opened counts as holding no parameter.
    {"RegOpenKeyExA", "RegOpenKeyExA", 0, kAdded, true,
     Then({Shows(IDD_CONFIRMATION, IDC_CONFIRM_TEXT, IDS_ADD_PARAMETER), WriteAndContinue(1), FromCompletionOn()})},
    // Nor does a value that cannot be read, and the key is closed all the same.
    {"RegQueryValueExA", "RegQueryValueExA", 0, kAdded, true,
     Then({{"RegCloseKey(hkey1)"}, Shows(IDD_CONFIRMATION, IDC_CONFIRM_TEXT, IDS_ADD_PARAMETER), WriteAndContinue(2),
           FromCompletionOn()})},
    {"RegCreateKeyExA", "RegCreateKeyExA", 0, kNotWritten, false, ChangeFailedNotice()},
    {"RegSetValueExA", "RegSetValueExA", 0, kNotWritten, false, Then({{"RegCloseKey(hkey2)"}, ChangeFailedNotice()})},
    // A token that cannot be opened stays null.
    {"OpenProcessToken", "OpenProcessToken", 0, kRestartRefused, true,
     Then({{"LookupPrivilegeValueA(NULL, \"SeShutdownPrivilege\")",
            "AdjustTokenPrivileges(NULL, FALSE, {1, 19:0 0x2}, 0, NULL, NULL)"},
           DisketteNotice(), kRestart, RestartFailedNotice(), kEndCompletion})},
    // The identifier was zeroed before the lookup, so the record carries no leftovers.
    {"LookupPrivilegeValueA", "LookupPrivilegeValueA", 0, kRestartRefused, true,
     Then({{"AdjustTokenPrivileges(token1, FALSE, {1, 0:0 0x2}, 0, NULL, NULL)"}, DisketteNotice(), kRestart,
           RestartFailedNotice(), kEndCompletion})},
    {"AdjustTokenPrivileges", "AdjustTokenPrivileges", 0, kRestartRefused, true,
     Then({DisketteNotice(), kRestart, RestartFailedNotice(), kEndCompletion})},
    {"InitiateSystemShutdownA", "InitiateSystemShutdownA", 0, kRestartRefused, true,
     Then({RestartFailedNotice(), kEndCompletion})},
    // No message loads: each screen shows the empty text, and the run goes on.
    {"LoadStringA", "LoadStringA", 0, kAdded, true,
     Then({{"SetDlgItemTextA(dialog103, 1003, \"\")"}, WriteAndContinue(2), Completion(false), kPrivilege,
           DisketteNotice(false), kRestart, kEndCompletion})},
    {"SetDlgItemTextA", "SetDlgItemTextA", 0, kAdded, true, Then({WriteAndContinue(2), FromCompletionOn()})},
    {"DialogBoxParamA_Confirmation", "DialogBoxParamA", 0, {}, false, {}},
    {"DialogBoxParamA_ChangesComplete", "DialogBoxParamA", 1, {IDD_CONFIRMATION}, true, {}},
    // Without the diskette notice the restart is still requested, once.
    {"DialogBoxParamA_RemoveFloppies", "DialogBoxParamA", 2, {IDD_CONFIRMATION, IDD_CHANGES_COMPLETE}, true,
     Then({kRestart, kEndCompletion})},
};

INSTANTIATE_TEST_SUITE_P(EachCallFails, FaultTableTest, testing::ValuesIn(kFaultTable), RowName());

TEST_F(TrevaskTest, FaultTableCoversEveryCallThatCanFail)
{
    for (const std::string& function : sim::FailableCalls())
        EXPECT_TRUE(std::any_of(kFaultTable.begin(), kFaultTable.end(),
                                [&](const FaultCase& row) { return row.function == function; }))
            << function;
}

}  // namespace
}  // namespace trevask_test
