// Which screen follows which, from start to end, for every way through.
#include "scanparam/scan_parameter.h"
#include "support/trevask_test.h"

namespace trevask_test {
namespace {

using sim::Enter;
using sim::Escape;
using sim::Press;

struct SequenceCase : Row {
    DWORD version;
    bool administrator;
    bool shutdownPrivilegeHeld;
    std::vector<sim::Action> script;
    std::vector<int> screens;
    std::vector<INT_PTR> endCodes;
};


class ScreenSequenceTest : public TrevaskTest, public testing::WithParamInterface<SequenceCase> {};

TEST_P(ScreenSequenceTest, OpensTheScreensInOrderAndExitsWithZero)
{
    const SequenceCase& row = GetParam();
    sim::SetVersion(row.version);
    sim::SetAdministrator(row.administrator);
    sim::SetShutdownPrivilegeHeld(row.shutdownPrivilegeHeld);
    sim::Script(row.script);

    EXPECT_EQ(RunTrevask(), 0);
    EXPECT_EQ(sim::ScreenIds(), row.screens);
    // The sequence's screens belong to the desktop; one opened over another is owned by it.
    const sim::ScreenRecord* beneath = nullptr;
    std::vector<INT_PTR> endCodes;
    for (const sim::ScreenRecord& screen : sim::Screens()) {
        SCOPED_TRACE(screen.templateId);
        EXPECT_EQ(screen.owner, screen.depth == 0 ? sim::DesktopWindow() : beneath->hwnd);
        EXPECT_EQ(screen.initParam, 0);
        EXPECT_TRUE(screen.ended);
        endCodes.push_back(screen.endCode);
        if (screen.depth == 0)
            beneath = &screen;
    }
    EXPECT_EQ(endCodes, row.endCodes);
    for (const sim::Call& call : sim::CallsTo("DialogBoxParamA"))
        EXPECT_EQ(call.args.at(0), "Module") << call;
}

// The rows named ...WithNotificationCodes press every button with a
// notification code in the high 16 bits of wParam: every handler reads the
// control ID from the low 16 bits only, so the run goes the same way.
INSTANTIATE_TEST_SUITE_P(
    StateTable, ScreenSequenceTest,
    testing::Values(
        SequenceCase{"Windows95GetsNotNt", kWin95, true, true, {Enter(IDD_NOT_NT)}, {IDD_NOT_NT}, {0}},
        SequenceCase{"Win32sGetsNotNt", kWin32s, true, true, {Enter(IDD_NOT_NT)}, {IDD_NOT_NT}, {0}},
        SequenceCase{"Nt31PassesTheGate", kNt31, true, true, {Escape(IDD_CONFIRMATION)}, {IDD_CONFIRMATION},
                     {CONFIRM_EXIT}},
        SequenceCase{"Nt351PassesTheGate", kNt351, true, true, {Escape(IDD_CONFIRMATION)}, {IDD_CONFIRMATION},
                     {CONFIRM_EXIT}},
        SequenceCase{"Windows10PassesTheGate", kWin10, true, true, {Escape(IDD_CONFIRMATION)}, {IDD_CONFIRMATION},
                     {CONFIRM_EXIT}},
        SequenceCase{"ExitNowEnds", kNt40, true, true, {Press(IDD_CONFIRMATION, IDCANCEL)}, {IDD_CONFIRMATION},
                     {CONFIRM_EXIT}},
        SequenceCase{"ContinueThenExitToWindows",
                     kNt40,
                     true,
                     true,
                     {Enter(IDD_CONFIRMATION), Press(IDD_CHANGES_COMPLETE, IDCANCEL)},
                     {IDD_CONFIRMATION, IDD_CHANGES_COMPLETE},
                     {CONFIRM_CHANGED, 0}},
        SequenceCase{"ContinueThenRestart",
                     kNt40,
                     true,
                     true,
                     {Enter(IDD_CONFIRMATION), Enter(IDD_CHANGES_COMPLETE), Enter(IDD_REMOVE_FLOPPIES)},
                     {IDD_CONFIRMATION, IDD_CHANGES_COMPLETE, IDD_REMOVE_FLOPPIES},
                     {CONFIRM_CHANGED, 0, 0}},
        SequenceCase{"ContinueWithoutRightsTellsTheChangeFailed",
                     kNt40,
                     false,
                     true,
                     {Enter(IDD_CONFIRMATION), Enter(IDD_CHANGE_FAILED)},
                     {IDD_CONFIRMATION, IDD_CHANGE_FAILED},
                     {CONFIRM_NOT_CHANGED, 0}},
        SequenceCase{"ContinueThenExitToWindowsWithNotificationCodes",
                     kNt40,
                     true,
                     true,
                     {Press(IDD_CONFIRMATION, IDOK, 0xFFFF), Press(IDD_CHANGES_COMPLETE, IDCANCEL, 0x8001)},
                     {IDD_CONFIRMATION, IDD_CHANGES_COMPLETE},
                     {CONFIRM_CHANGED, 0}},
        SequenceCase{"ExitNowWithNotificationCodes", kNt40, true, true, {Press(IDD_CONFIRMATION, IDCANCEL, 0x0100)},
                     {IDD_CONFIRMATION}, {CONFIRM_EXIT}},
        SequenceCase{"RestartSystemWithNotificationCodes",
                     kNt40,
                     true,
                     true,
                     {Press(IDD_CONFIRMATION, IDOK, 1), Press(IDD_CHANGES_COMPLETE, IDOK, 0x0505),
                      Press(IDD_REMOVE_FLOPPIES, IDOK, 0x7FFF)},
                     {IDD_CONFIRMATION, IDD_CHANGES_COMPLETE, IDD_REMOVE_FLOPPIES},
                     {CONFIRM_CHANGED, 0, 0}},
        SequenceCase{"ChangeFailedCloseWithNotificationCodes",
                     kNt40,
                     false,
                     true,
                     {Press(IDD_CONFIRMATION, IDOK, 0x4000), Press(IDD_CHANGE_FAILED, IDOK, 0x0200)},
                     {IDD_CONFIRMATION, IDD_CHANGE_FAILED},
                     {CONFIRM_NOT_CHANGED, 0}},
        SequenceCase{"RestartFailedCloseWithNotificationCodes",
                     kNt40,
                     true,
                     false,
                     {Press(IDD_CONFIRMATION, IDOK, 2), Press(IDD_CHANGES_COMPLETE, IDOK, 3),
                      Press(IDD_REMOVE_FLOPPIES, IDOK, 4), Press(IDD_RESTART_FAILED, IDOK, 0xBEEF)},
                     {IDD_CONFIRMATION, IDD_CHANGES_COMPLETE, IDD_REMOVE_FLOPPIES, IDD_RESTART_FAILED},
                     {CONFIRM_CHANGED, 0, 0, 0}}),
    RowName());

TEST_F(TrevaskTest, CreatesTheNamedMutexOwnedBeforeAnythingElse)
{
    sim::Script({Escape(IDD_CONFIRMATION)});
    RunTrevask();
    ASSERT_GE(sim::Calls().size(), 2u);
    EXPECT_TRUE(CallsAre({sim::Calls()[0], sim::Calls()[1]}, SingleInstanceCheck()));
}

class SecondCopyTest : public TrevaskTest, public testing::WithParamInterface<int> {};

TEST_P(SecondCopyTest, GetsAlreadyRunningWhileTheFirstShowsThisScreen)
{
    const int screen = GetParam();
    int secondExit = -1;
    std::vector<sim::Action> script = {Enter(IDD_CONFIRMATION), Enter(IDD_CHANGES_COMPLETE), Enter(IDD_REMOVE_FLOPPIES)};
    size_t at = screen == IDD_CONFIRMATION ? 0 : screen == IDD_CHANGES_COMPLETE ? 1 : 2;
    script.insert(script.begin() + long(at),
                  {sim::Meanwhile(screen, [&] { secondExit = RunTrevask(); }), Enter(IDD_ALREADY_RUNNING)});
    sim::Script(script);

    EXPECT_EQ(RunTrevask(), 0);
    EXPECT_EQ(secondExit, 0);
    ASSERT_EQ(sim::Screens().size(), 4u);
    const sim::ScreenRecord& refusal = sim::Screens()[at + 1];
    EXPECT_EQ(refusal.templateId, IDD_ALREADY_RUNNING);
    EXPECT_EQ(refusal.process, 2);
    EXPECT_EQ(refusal.owner, sim::DesktopWindow());
    EXPECT_EQ(refusal.Text(IDC_RUNNING_TEXT), Message(IDS_ALREADY_RUNNING));
    EXPECT_EQ(sim::ShutdownRequests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(FirstCopyShows, SecondCopyTest,
                         testing::Values(IDD_CONFIRMATION, IDD_CHANGES_COMPLETE, IDD_REMOVE_FLOPPIES),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param); });

TEST_F(TrevaskTest, SecondCopyOnAnotherPlatformIsStillToldThatOneIsRunning)
{
    sim::Script({sim::Meanwhile(IDD_CONFIRMATION,
                                [] {
                                    sim::SetVersion(kWin95);
                                    RunTrevask();
                                }),
                 Enter(IDD_ALREADY_RUNNING), Escape(IDD_CONFIRMATION)});
    RunTrevask();
    EXPECT_EQ(sim::ScreenIds(), (std::vector<int>{IDD_CONFIRMATION, IDD_ALREADY_RUNNING}));
}

TEST_F(TrevaskTest, MutexIsReleasedWhenTheFirstCopyExits)
{
    sim::Script({Escape(IDD_CONFIRMATION), Escape(IDD_CONFIRMATION)});
    RunTrevask();
    RunTrevask();
    EXPECT_EQ(sim::ScreenIds(), (std::vector<int>{IDD_CONFIRMATION, IDD_CONFIRMATION}));
}

TEST_F(TrevaskTest, MutexThatCannotBeCreatedLetsTheProgramGoOnAlone)
{
    sim::FailCall("CreateMutexA", ERROR_ACCESS_DENIED);
    sim::Script({Escape(IDD_CONFIRMATION)});
    EXPECT_EQ(RunTrevask(), 0);
    EXPECT_EQ(sim::ScreenIds(), std::vector<int>{IDD_CONFIRMATION});
}

TEST_F(TrevaskTest, CommandLineChangesNothing)
{
    sim::Script({Enter(IDD_CONFIRMATION), Press(IDD_CHANGES_COMPLETE, IDCANCEL)});
    EXPECT_EQ(RunTrevask("/remove /quiet -x"), 0);
    EXPECT_EQ(sim::ScreenIds(), (std::vector<int>{IDD_CONFIRMATION, IDD_CHANGES_COMPLETE}));
    EXPECT_EQ(DriverParameter(), kSet);
}

TEST_F(TrevaskTest, ScreenThatCannotBeCreatedEndsTheProgram)
{
    sim::FailCall("DialogBoxParamA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(RunTrevask(), 0);
    EXPECT_TRUE(sim::Screens().empty());
    EXPECT_EQ(sim::CallsTo("DialogBoxParamA").size(), 1u);
    EXPECT_FALSE(DriverParameter());
}

}  // namespace
}  // namespace trevask_test
