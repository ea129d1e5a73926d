// Each platform call fails in turn during a whole run: no crash, no key left
// open, and no screen claims a success that did not happen.
#include <algorithm>

#include "support/trevask_test.h"

namespace trevask_test {
namespace {

struct FaultCase : Row {
    const char* function;
    int succeedFirst;
    std::vector<int> screens;
    bool written;
};


class FaultTableTest : public TrevaskTest, public testing::WithParamInterface<FaultCase> {};

bool Shown(int templateId)
{
    std::vector<int> ids = sim::ScreenIds();
    return std::find(ids.begin(), ids.end(), templateId) != ids.end();
}

// The user presses Enter once on each screen the run is to show.
TEST_P(FaultTableTest, RunGoesOnHonestly)
{
    const FaultCase& row = GetParam();
    sim::FailCall(row.function, ERROR_ACCESS_DENIED, row.succeedFirst);
    sim::Script(std::vector<sim::Action>(row.screens.size(), sim::Enter()));

    EXPECT_EQ(RunTrevask(), 0);

    EXPECT_EQ(sim::ScreenIds(), row.screens);
    EXPECT_EQ(DriverParameter() == sim::StringValue("AdapterScansUp=1"), row.written);
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
    {"CreateMutexA", "CreateMutexA", 0, kAdded, true},
    {"RegOpenKeyExA", "RegOpenKeyExA", 0, kAdded, true},
    {"RegQueryValueExA", "RegQueryValueExA", 0, kAdded, true},
    {"RegCreateKeyExA", "RegCreateKeyExA", 0, kNotWritten, false},
    {"RegSetValueExA", "RegSetValueExA", 0, kNotWritten, false},
    {"OpenProcessToken", "OpenProcessToken", 0, kRestartRefused, true},
    {"LookupPrivilegeValueA", "LookupPrivilegeValueA", 0, kRestartRefused, true},
    {"AdjustTokenPrivileges", "AdjustTokenPrivileges", 0, kRestartRefused, true},
    {"InitiateSystemShutdownA", "InitiateSystemShutdownA", 0, kRestartRefused, true},
    {"LoadStringA", "LoadStringA", 0, kAdded, true},
    {"SetDlgItemTextA", "SetDlgItemTextA", 0, kAdded, true},
    {"DialogBoxParamA_Confirmation", "DialogBoxParamA", 0, {}, false},
    {"DialogBoxParamA_ChangesComplete", "DialogBoxParamA", 1, {IDD_CONFIRMATION}, true},
    // Without the diskette notice the restart still goes ahead.
    {"DialogBoxParamA_RemoveFloppies", "DialogBoxParamA", 2, {IDD_CONFIRMATION, IDD_CHANGES_COMPLETE}, true},
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
