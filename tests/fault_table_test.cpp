// Each platform call fails in turn during a whole run: no crash, no key left
// open, no screen claims a success that did not happen, and what must still
// come after the failure comes, call by call.
#include <algorithm>
#include <optional>

#include "support/trevask_test.h"

namespace trevask_test {
namespace {

struct FaultCase : Row {
    const char* function;
    int succeedFirst;
    std::vector<int> screens;
    bool written;
    CallTexts after;  // every call the program makes after the one that failed; {} for none
};

// Start-up past a mutex that could not be created.
CallTexts StartupAfterTheMutex()
{
    CallTexts calls = Startup();
    calls.erase(calls.begin());
    return calls;
}

// The confirmation screen from its read of the value on, and all that follows.
CallTexts FromConfirmationOn()
{
    return Then({{OpensDriverKey()}, ReadsValue(1), Shows(IDD_CONFIRMATION, IDC_CONFIRM_TEXT, IDS_ADD_PARAMETER),
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
    EXPECT_EQ(DriverParameter(), row.written ? kSet : kOtherParameters);
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
     Then({StartupAfterTheMutex(), FromConfirmationOn()})},
    // A key that cannot be opened counts as holding no parameter.
    {"RegOpenKeyExA", "RegOpenKeyExA", 0, kAdded, true,
     Then({Shows(IDD_CONFIRMATION, IDC_CONFIRM_TEXT, IDS_ADD_PARAMETER), WriteAndContinue(1), FromCompletionOn()})},
    // Nor does a value that cannot be read, and the key is closed all the same.
    {"RegQueryValueExA", "RegQueryValueExA", 0, kAdded, true,
     Then({{ClosesKey(1)}, Shows(IDD_CONFIRMATION, IDC_CONFIRM_TEXT, IDS_ADD_PARAMETER), WriteAndContinue(2),
           FromCompletionOn()})},
    {"RegCreateKeyExA", "RegCreateKeyExA", 0, kNotWritten, false, ChangeFailedNotice()},
    {"RegSetValueExA", "RegSetValueExA", 0, kNotWritten, false, Then({{ClosesKey(2)}, ChangeFailedNotice()})},
    // A token that cannot be opened stays null.
    {"OpenProcessToken", "OpenProcessToken", 0, kRestartRefused, true,
     Then({{LooksUpShutdownPrivilege(), AdjustsPrivileges("NULL", "19:0")}, DisketteNotice(), Restart(),
           RestartFailedNotice(), EndCompletion()})},
    // The identifier was zeroed before the lookup, so the record carries no leftovers.
    {"LookupPrivilegeValueA", "LookupPrivilegeValueA", 0, kRestartRefused, true,
     Then({{AdjustsPrivileges("token1", "0:0")}, DisketteNotice(), Restart(), RestartFailedNotice(),
           EndCompletion()})},
    {"AdjustTokenPrivileges", "AdjustTokenPrivileges", 0, kRestartRefused, true,
     Then({DisketteNotice(), Restart(), RestartFailedNotice(), EndCompletion()})},
    {"InitiateSystemShutdownA", "InitiateSystemShutdownA", 0, kRestartRefused, true,
     Then({RestartFailedNotice(), EndCompletion()})},
    // No message loads: each screen shows the empty text, and the run goes on.
    {"LoadStringA", "LoadStringA", 0, kAdded, true,
     Then({{Shows(IDD_CONFIRMATION, IDC_CONFIRM_TEXT, IDS_ADD_PARAMETER, false)[1]}, WriteAndContinue(2),
           Completion(false), EnablePrivilege(), DisketteNotice(false), Restart(), EndCompletion()})},
    {"SetDlgItemTextA", "SetDlgItemTextA", 0, kAdded, true, Then({WriteAndContinue(2), FromCompletionOn()})},
    {"DialogBoxParamA_Confirmation", "DialogBoxParamA", 0, {}, false, {}},
    {"DialogBoxParamA_ChangesComplete", "DialogBoxParamA", 1, {IDD_CONFIRMATION}, true, {}},
    // Without the diskette notice the restart is still requested, once.
    {"DialogBoxParamA_RemoveFloppies", "DialogBoxParamA", 2, {IDD_CONFIRMATION, IDD_CHANGES_COMPLETE}, true,
     Then({Restart(), EndCompletion()})},
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
