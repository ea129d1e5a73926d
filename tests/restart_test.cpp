// The completion screen and the restart it requests.
#include <algorithm>

#include "trevask_test.h"

namespace trevask_test {
namespace {

using sim::Enter;
using sim::Escape;
using sim::Press;

bool IsRestartCall(const std::string& call)
{
    for (const char* name : {"OpenProcessToken(", "LookupPrivilegeValueA(", "AdjustTokenPrivileges(",
                             "DialogBoxParamA(", "EndDialog(", "InitiateSystemShutdownA("})
        if (call.rfind(name, 0) == 0)
            return true;
    return false;
}

std::vector<std::string> RestartCalls()
{
    std::vector<std::string> out;
    std::copy_if(sim::Calls().begin(), sim::Calls().end(), std::back_inserter(out), IsRestartCall);
    return out;
}

TEST_F(TrevaskTest, RestartEnablesThePrivilegeWarnsThenRebootsAtOnce)
{
    sim::Script({Enter(IDD_CONFIRMATION), Enter(IDD_CHANGES_COMPLETE), Escape(IDD_REMOVE_FLOPPIES),
                 Enter(IDD_REMOVE_FLOPPIES)});
    EXPECT_EQ(RunTrevask(), 0);

    EXPECT_EQ(RestartCalls(), (std::vector<std::string>{
                                  "DialogBoxParamA(Module, 103, Desktop, proc, 0)",
                                  "EndDialog(dialog103, 1)",
                                  "DialogBoxParamA(Module, 106, Desktop, proc, 0)",
                                  "OpenProcessToken(CurrentProcess, 0x28)",
                                  "LookupPrivilegeValueA(NULL, \"SeShutdownPrivilege\")",
                                  "AdjustTokenPrivileges(token1, FALSE, {1, 19:0 0x2}, 0, NULL, NULL)",
                                  "DialogBoxParamA(Module, 107, Desktop, proc, 0)",
                                  "EndDialog(dialog107, 0)",
                                  "InitiateSystemShutdownA(NULL, NULL, 0, FALSE, TRUE)",
                                  "EndDialog(dialog106, 0)",
                              }));
    ASSERT_EQ(sim::ShutdownRequests().size(), 1u);
    EXPECT_TRUE(sim::ShutdownRequests()[0].accepted);

    ASSERT_EQ(sim::Screens().size(), 3u);
    EXPECT_EQ(sim::Screens()[1].Text(IDC_RESTART_TEXT), Message(IDS_RESTART_PROMPT));
    EXPECT_EQ(sim::Screens()[2].depth, 1) << "the diskette notice opens over the completion screen";
    EXPECT_EQ(sim::Screens()[2].Text(IDC_FLOPPY_TEXT), Message(IDS_REMOVE_DISKETTES));
}

TEST_F(TrevaskTest, ExitToWindowsNtRestartsNothing)
{
    for (sim::Action leave : {Press(IDD_CHANGES_COMPLETE, IDCANCEL), Escape(IDD_CHANGES_COMPLETE)}) {
        sim::Reset();
        sim::Script({Enter(IDD_CONFIRMATION), leave});
        EXPECT_EQ(RunTrevask(), 0);
        EXPECT_EQ(sim::ScreenIds(), (std::vector<int>{IDD_CONFIRMATION, IDD_CHANGES_COMPLETE}));
        EXPECT_TRUE(sim::CallsTo("OpenProcessToken").empty());
        EXPECT_TRUE(sim::ShutdownRequests().empty());
    }
}

struct RefusalCase {
    const char* name;
    std::function<void()> refuse;
};

void PrintTo(const RefusalCase& row, std::ostream* out) { *out << row.name; }

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
    EXPECT_EQ(notice.owner, sim::DesktopWindow());
    EXPECT_EQ(notice.depth, 1) << "shown while the completion screen is still open";
    ASSERT_EQ(sim::ShutdownRequests().size(), 1u);
    EXPECT_FALSE(sim::ShutdownRequests()[0].accepted);
    EXPECT_EQ(sim::Calls().back(), "EndDialog(dialog106, 0)") << testing::PrintToString(sim::Calls());
}

INSTANTIATE_TEST_SUITE_P(
    Causes, RefusedRestartTest,
    testing::Values(RefusalCase{"PrivilegeNotHeld", [] { sim::SetShutdownPrivilegeHeld(false); }},
                    RefusalCase{"TokenNotOpened", [] { sim::FailCall("OpenProcessToken", ERROR_ACCESS_DENIED); }},
                    RefusalCase{"PrivilegeUnknown",
                                [] { sim::FailCall("LookupPrivilegeValueA", ERROR_NO_SUCH_PRIVILEGE); }},
                    RefusalCase{"ShutdownRefused",
                                [] { sim::FailCall("InitiateSystemShutdownA", ERROR_ACCESS_DENIED); }}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST_F(TrevaskTest, TokenThatCannotBeOpenedStaysNull)
{
    sim::FailCall("OpenProcessToken", ERROR_ACCESS_DENIED);
    sim::Script({Enter(IDD_CONFIRMATION), Enter(IDD_CHANGES_COMPLETE), Enter(IDD_REMOVE_FLOPPIES),
                 Enter(IDD_RESTART_FAILED)});
    RunTrevask();
    ASSERT_EQ(sim::CallsTo("AdjustTokenPrivileges").size(), 1u);
    EXPECT_EQ(sim::CallsTo("AdjustTokenPrivileges")[0].rfind("AdjustTokenPrivileges(NULL, ", 0), 0u);
}

}  // namespace
}  // namespace trevask_test
