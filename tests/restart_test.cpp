// The completion screen and the restart it requests.
#include <algorithm>

#include "support/trevask_test.h"

namespace trevask_test {
namespace {

using sim::Enter;
using sim::Escape;
using sim::Press;

// The calls that open and end screens, and those of the restart itself.
std::vector<sim::Call> RestartCalls()
{
    std::vector<sim::Call> out;
    std::copy_if(sim::Calls().begin(), sim::Calls().end(), std::back_inserter(out), [](const sim::Call& call) {
        for (const char* name : {"OpenProcessToken", "LookupPrivilegeValueA", "AdjustTokenPrivileges",
                                 "DialogBoxParamA", "EndDialog", "InitiateSystemShutdownA"})
            if (call.function == name)
                return true;
        return false;
    });
    return out;
}

// "Continue", then "Restart System": the privilege, the diskette notice over the
// completion screen, and the restart request once the notice is closed.
const std::vector<std::string> kOneRestart = {
    "DialogBoxParamA(Module, 103, Desktop, proc, 0)",
    "EndDialog(dialog103, 1)",
    "DialogBoxParamA(Module, 106, Desktop, proc, 0)",
    "OpenProcessToken(CurrentProcess, 0x28)",
    "LookupPrivilegeValueA(NULL, \"SeShutdownPrivilege\")",
    "AdjustTokenPrivileges(token1, FALSE, {1, 19:0 0x2}, 0, NULL, NULL)",
    "DialogBoxParamA(Module, 107, dialog106, proc, 0)",
    "EndDialog(dialog107, 0)",
    "InitiateSystemShutdownA(NULL, NULL, 0, FALSE, TRUE)",
    "EndDialog(dialog106, 0)",
};

TEST_F(TrevaskTest, RestartEnablesThePrivilegeWarnsThenRebootsAtOnce)
{
    sim::Script({Enter(IDD_CONFIRMATION), Enter(IDD_CHANGES_COMPLETE), Escape(IDD_REMOVE_FLOPPIES),
                 Enter(IDD_REMOVE_FLOPPIES)});
    EXPECT_EQ(RunTrevask(), 0);

    EXPECT_TRUE(CallsAre(RestartCalls(), kOneRestart));
    ASSERT_EQ(sim::ShutdownRequests().size(), 1u);
    EXPECT_TRUE(sim::ShutdownRequests()[0].accepted);

    ASSERT_EQ(sim::Screens().size(), 3u);
    EXPECT_EQ(sim::Screens()[1].Text(IDC_RESTART_TEXT), Message(IDS_RESTART_PROMPT));
    EXPECT_EQ(sim::Screens()[2].depth, 1) << "the diskette notice opens over the completion screen";
    EXPECT_EQ(sim::Screens()[2].Text(IDC_FLOPPY_TEXT), Message(IDS_REMOVE_DISKETTES));
}

struct LeaveCase : Row {
    std::vector<sim::Action> keys;
};


class ExitToWindowsNtTest : public TrevaskTest, public testing::WithParamInterface<LeaveCase> {};

TEST_P(ExitToWindowsNtTest, EndsWithZeroAndRestartsNothing)
{
    std::vector<sim::Action> script = {Enter(IDD_CONFIRMATION)};
    script.insert(script.end(), GetParam().keys.begin(), GetParam().keys.end());
    sim::Script(script);
    EXPECT_EQ(RunTrevask(), 0);
    EXPECT_EQ(sim::ScreenIds(), (std::vector<int>{IDD_CONFIRMATION, IDD_CHANGES_COMPLETE}));
    EXPECT_EQ(sim::Screens()[1].endCode, 0);
    EXPECT_TRUE(sim::CallsTo("OpenProcessToken").empty());
    EXPECT_TRUE(sim::ShutdownRequests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ExitToWindowsNtTest,
    testing::Values(LeaveCase{"Click", {Press(IDD_CHANGES_COMPLETE, IDCANCEL)}},
                    LeaveCase{"Escape", {Escape(IDD_CHANGES_COMPLETE)}},
                    LeaveCase{"TabThenEnter", {sim::Tab(IDD_CHANGES_COMPLETE), Enter(IDD_CHANGES_COMPLETE)}},
                    LeaveCase{"TabThenSpace", {sim::Tab(IDD_CHANGES_COMPLETE), sim::Space(IDD_CHANGES_COMPLETE)}}),
    RowName());

// What the user does to the completion screen while the diskette notice is
// open over it: the completion screen is disabled, so none of it may start a
// second restart or end the screen under the first.
struct InputCase : Row {
    sim::Action action;
};


class CompletionScreenBeneathTheNoticeTest : public TrevaskTest, public testing::WithParamInterface<InputCase> {};

TEST_P(CompletionScreenBeneathTheNoticeTest, TakesNoInputUntilTheNoticeCloses)
{
    bool enabledBeneath = true;
    sim::Script({Enter(IDD_CONFIRMATION), Enter(IDD_CHANGES_COMPLETE), GetParam().action,
                 sim::Meanwhile(IDD_REMOVE_FLOPPIES, [&] { enabledBeneath = sim::Screens()[1].enabled; }),
                 Enter(IDD_REMOVE_FLOPPIES)});
    EXPECT_EQ(RunTrevask(), 0);

    EXPECT_EQ(sim::ScreenIds(), (std::vector<int>{IDD_CONFIRMATION, IDD_CHANGES_COMPLETE, IDD_REMOVE_FLOPPIES}));
    const sim::ScreenRecord& completion = sim::Screens()[1];
    EXPECT_EQ(completion.ignored, std::vector<std::string>{GetParam().action.Describe()});
    EXPECT_EQ(completion.Commands(), std::vector<int>{IDOK}) << "only the press that started the restart";
    EXPECT_FALSE(enabledBeneath) << "the completion screen took input while the notice was open";
    EXPECT_TRUE(completion.enabled) << "the completion screen stays disabled after the notice closed";
    EXPECT_EQ(sim::CallsTo("AdjustTokenPrivileges").size(), 1u);
    EXPECT_TRUE(CallsAre(RestartCalls(), kOneRestart));
    ASSERT_EQ(sim::ShutdownRequests().size(), 1u);
    EXPECT_TRUE(sim::ShutdownRequests()[0].accepted);
}

INSTANTIATE_TEST_SUITE_P(
    EachWayIn, CompletionScreenBeneathTheNoticeTest,
    testing::Values(InputCase{"ClickRestartSystem", Press(IDD_CHANGES_COMPLETE, IDOK)},
                    InputCase{"ClickExitToWindowsNt", Press(IDD_CHANGES_COMPLETE, IDCANCEL)},
                    InputCase{"Enter", Enter(IDD_CHANGES_COMPLETE)},
                    InputCase{"Escape", Escape(IDD_CHANGES_COMPLETE)}),
    RowName());

struct RefusalCase : Row {
    std::function<void()> refuse;
};


class RefusedRestartTest : public TrevaskTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedRestartTest, IsToldAfterTheDisketteNotice)
{
    GetParam().refuse();
    sim::Script({Enter(IDD_CONFIRMATION), Enter(IDD_CHANGES_COMPLETE), Enter(IDD_REMOVE_FLOPPIES),
                 Escape(IDD_RESTART_FAILED), Enter(IDD_RESTART_FAILED)});
    EXPECT_EQ(RunTrevask(), 0);

    EXPECT_EQ(sim::ScreenIds(), (std::vector<int>{IDD_CONFIRMATION, IDD_CHANGES_COMPLETE, IDD_REMOVE_FLOPPIES,
                                                  IDD_RESTART_FAILED}));
    const sim::ScreenRecord& notice = sim::Screens()[3];
    EXPECT_EQ(notice.Text(IDC_RESTART_FAILED_TEXT), Message(IDS_RESTART_FAILED));
    EXPECT_EQ(notice.owner, sim::Screens()[1].hwnd) << "owned by the completion screen it interrupts";
    EXPECT_EQ(notice.depth, 1) << "shown while the completion screen is still open";
    ASSERT_EQ(sim::ShutdownRequests().size(), 1u);
    EXPECT_FALSE(sim::ShutdownRequests()[0].accepted);
    EXPECT_EQ(sim::Calls().back().Text(), "EndDialog(dialog106, 0)") << testing::PrintToString(sim::Calls());
}

INSTANTIATE_TEST_SUITE_P(
    Causes, RefusedRestartTest,
    testing::Values(RefusalCase{"PrivilegeNotHeld", [] { sim::SetShutdownPrivilegeHeld(false); }},
                    RefusalCase{"TokenNotOpened", [] { sim::FailCall("OpenProcessToken", ERROR_ACCESS_DENIED); }},
                    RefusalCase{"PrivilegeUnknown",
                                [] { sim::FailCall("LookupPrivilegeValueA", ERROR_NO_SUCH_PRIVILEGE); }},
                    RefusalCase{"ShutdownRefused",
                                [] { sim::FailCall("InitiateSystemShutdownA", ERROR_ACCESS_DENIED); }}),
    RowName());

TEST_F(TrevaskTest, TokenThatCannotBeOpenedStaysNull)
{
    sim::FailCall("OpenProcessToken", ERROR_ACCESS_DENIED);
    sim::Script({Enter(IDD_CONFIRMATION), Enter(IDD_CHANGES_COMPLETE), Enter(IDD_REMOVE_FLOPPIES),
                 Enter(IDD_RESTART_FAILED)});
    RunTrevask();
    ASSERT_EQ(sim::CallsTo("AdjustTokenPrivileges").size(), 1u);
    EXPECT_EQ(sim::CallsTo("AdjustTokenPrivileges")[0].args.at(0), "NULL");
}

}  // namespace
}  // namespace trevask_test
