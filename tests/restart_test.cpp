// The completion screen and the restart it requests.
#include "support/trevask_test.h"

namespace trevask_test {
namespace {

using sim::Enter;
using sim::Escape;
using sim::Press;

// With no value to start from: "Continue", then "Restart System": the
// privilege, the diskette notice over the completion screen, and the restart
// request once the notice is closed.
CallTexts OneRestart()
{
    return Then({Startup(), {OpensDriverKey()}, Shows(IDD_CONFIRMATION, IDC_CONFIRM_TEXT, IDS_ADD_PARAMETER),
                 WriteAndContinue(1), FromCompletionOn()});
}

TEST_F(TrevaskTest, RestartEnablesThePrivilegeWarnsThenRebootsAtOnce)
{
    sim::Script({Enter(IDD_CONFIRMATION), Enter(IDD_CHANGES_COMPLETE), Escape(IDD_REMOVE_FLOPPIES),
                 Enter(IDD_REMOVE_FLOPPIES)});
    EXPECT_EQ(RunTrevask(), 0);

    EXPECT_TRUE(CallsAre(sim::Calls(), OneRestart()));
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
    EXPECT_TRUE(CallsAre(sim::Calls(), OneRestart()));
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

// The one cause of a refused restart that no platform call's failure brings
// about: a user who does not hold the privilege at all.
TEST_F(TrevaskTest, RestartRefusedForLackOfThePrivilegeIsToldAfterTheDisketteNotice)
{
    sim::SetShutdownPrivilegeHeld(false);
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
    EXPECT_EQ(sim::Calls().back().Text(), EndCompletion().back()) << testing::PrintToString(sim::Calls());
}

}  // namespace
}  // namespace trevask_test
