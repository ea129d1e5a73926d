// The notices, and the message-handling contract every screen handler keeps.
#include "app/app.h"
#include "screens/notices.h"
#include "support/trevask_test.h"

namespace trevask_test {
namespace {

struct NoticeCase : Row {
    DLGPROC handler;
    int templateId;
    int messageId;
    int controlId;
};


class NoticeTest : public TrevaskTest, public testing::WithParamInterface<NoticeCase> {
protected:
    INT_PTR Open()
    {
        appInstance = sim::ModuleInstance();
        return OpenScreen(sim::DesktopWindow(), GetParam().templateId, GetParam().handler);
    }
};

TEST_P(NoticeTest, ShowsItsMessageAndClosesOnEnter)
{
    sim::Script({sim::Enter(GetParam().templateId)});
    EXPECT_EQ(Open(), 0);
    ASSERT_EQ(sim::Screens().size(), 1u);
    EXPECT_EQ(sim::Screens()[0].Text(GetParam().controlId), Message(GetParam().messageId));
}

TEST_P(NoticeTest, StaysOpenOnEscapeAndOtherCommands)
{
    sim::Script({sim::Escape(GetParam().templateId), sim::Press(GetParam().templateId, IDOK, 0x0300)});
    EXPECT_EQ(Open(), 0);
    ASSERT_EQ(sim::Screens().size(), 1u);
    EXPECT_EQ(sim::Screens()[0].Commands(), (std::vector<int>{IDCANCEL, IDOK}));
    EXPECT_EQ(sim::CallsTo("EndDialog").size(), 1u);
    EXPECT_EQ(sim::Calls().back().function, "EndDialog") << "only the OK command closes the notice";
}

TEST_P(NoticeTest, TabAndSpacePressTheOnlyButton)
{
    sim::Script({sim::Tab(GetParam().templateId), sim::Space(GetParam().templateId)});
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(sim::Screens()[0].Commands(), std::vector<int>{IDOK});
}

INSTANTIATE_TEST_SUITE_P(
    Notices, NoticeTest,
    testing::Values(
        NoticeCase{"AlreadyRunning", AlreadyRunningDlgProc, IDD_ALREADY_RUNNING, IDS_ALREADY_RUNNING, IDC_RUNNING_TEXT},
        NoticeCase{"NotNt", NotNtDlgProc, IDD_NOT_NT, IDS_NOT_NT, IDC_NOT_NT_TEXT},
        NoticeCase{"RemoveFloppies", RemoveFloppiesDlgProc, IDD_REMOVE_FLOPPIES, IDS_REMOVE_DISKETTES, IDC_FLOPPY_TEXT},
        NoticeCase{"ChangeFailed", ChangeFailedDlgProc, IDD_CHANGE_FAILED, IDS_CHANGE_FAILED, IDC_FAILED_TEXT},
        NoticeCase{"RestartFailed", RestartFailedDlgProc, IDD_RESTART_FAILED, IDS_RESTART_FAILED,
                   IDC_RESTART_FAILED_TEXT}),
    RowName());

TEST_F(TrevaskTest, EveryHandlerLeavesWhatItDoesNotKnowToTheSystem)
{
    HWND window = reinterpret_cast<HWND>(uintptr_t(0x4242));
    for (DLGPROC handler : kProgramHandlers) {
        EXPECT_EQ(handler(window, WM_PAINT, 0, 0), FALSE);
        EXPECT_EQ(handler(window, WM_CLOSE, 0, 0), FALSE);
        EXPECT_EQ(handler(window, WM_COMMAND, MAKEWPARAM(IDC_CONFIRM_TEXT, 0), 0), FALSE);
        EXPECT_EQ(handler(window, WM_COMMAND, MAKEWPARAM(9999, BN_CLICKED), 0), FALSE);
    }
    EXPECT_TRUE(sim::Calls().empty()) << sim::Calls().front();
}

TEST_F(TrevaskTest, NotNtNoticeIsTheOnlyScreenOnOtherPlatforms)
{
    sim::SetVersion(kWin98);
    sim::Script({sim::Escape(IDD_NOT_NT), sim::Enter(IDD_NOT_NT)});
    EXPECT_EQ(RunTrevask(), 0);
    EXPECT_EQ(sim::ScreenIds(), std::vector<int>{IDD_NOT_NT});
    EXPECT_EQ(sim::Screens()[0].Text(IDC_NOT_NT_TEXT), Message(IDS_NOT_NT));
    EXPECT_TRUE(sim::CallsTo("RegOpenKeyExA").empty());
}

}  // namespace
}  // namespace trevask_test
