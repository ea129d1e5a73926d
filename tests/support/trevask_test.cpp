#include "support/trevask_test.h"

#include <algorithm>

#include "screens/notices.h"
#include "restart/restart.h"
#include "scanparam/scan_parameter.h"

namespace trevask_test {

int RunTrevask(const char* commandLine, std::source_location caller)
{
    sim::BeginProcess();
    int exitCode = -1;
    try {
        exitCode = WinMain(sim::ModuleInstance(), nullptr, const_cast<LPSTR>(commandLine), SW_SHOWDEFAULT);
    } catch (const sim::ScriptError& error) {
        ADD_FAILURE_AT(caller.file_name(), int(caller.line())) << "the simulated user could not go on: " << error.what();
    }
    sim::EndProcess();
    return exitCode;
}

std::optional<sim::RegistryValue> DriverParameter()
{
    return sim::GetRegistryValue(kDriverKey, kValueName);
}

void SetDriverParameter(sim::RegistryValue value)
{
    sim::SetRegistryValue(kDriverKey, kValueName, std::move(value));
}

std::string Message(int id)
{
    std::optional<std::string> text = sim::Resources().String(id);
    return text ? *text : "<no message " + std::to_string(id) + ">";
}

testing::AssertionResult CallsAre(const std::vector<sim::Call>& calls, const std::vector<std::string>& expected)
{
    size_t same = 0;
    while (same < calls.size() && same < expected.size() && calls[same].Text() == expected[same])
        same++;
    if (same == calls.size() && same == expected.size())
        return testing::AssertionSuccess();
    testing::AssertionResult result = testing::AssertionFailure();
    result << "the calls part from the expected ones at call " << same + 1 << "\n  made:";
    for (size_t i = 0; i < calls.size(); i++)
        result << "\n    " << (i == same ? "> " : "  ") << calls[i].Text();
    result << "\n  expected:";
    for (size_t i = 0; i < expected.size(); i++)
        result << "\n    " << (i == same ? "> " : "  ") << expected[i];
    return result;
}

testing::AssertionResult ScriptUsedUp()
{
    std::vector<std::string> left = sim::ActionsLeft();
    if (left.empty())
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the program ended with user actions left over, which nothing took: "
                                       << testing::PrintToString(left);
}

const std::vector<DLGPROC> kProgramHandlers = {ConfirmationDlgProc,   ChangesCompleteDlgProc, AlreadyRunningDlgProc,
                                                NotNtDlgProc,          RemoveFloppiesDlgProc,  ChangeFailedDlgProc,
                                                RestartFailedDlgProc};

// A handler returns TRUE for WM_INITDIALOG and for the commands it acts on,
// and FALSE for everything else; acting means calling the platform.
testing::AssertionResult HandlersKeptTheirContract()
{
    testing::AssertionResult result = testing::AssertionSuccess();
    bool kept = true;
    for (const sim::ScreenRecord& screen : sim::Screens()) {
        if (std::find(kProgramHandlers.begin(), kProgramHandlers.end(), screen.proc) == kProgramHandlers.end())
            continue;  // a test's own handler
        for (const sim::HandlerCall& call : screen.handled) {
            INT_PTR wanted = FALSE;
            if (call.message == WM_INITDIALOG)
                wanted = TRUE;
            else if (call.message == WM_COMMAND)
                wanted = call.platformCalls > 0 ? TRUE : FALSE;
            if (call.result != wanted) {
                if (kept)
                    result = testing::AssertionFailure();
                kept = false;
                result << "\nscreen " << screen.templateId << " returned " << call.result << " for message 0x"
                       << std::hex << call.message << " (wParam 0x" << call.wParam << std::dec << ") after "
                       << call.platformCalls << " platform call(s); it should return " << wanted;
            }
        }
    }
    return result;
}

void TrevaskTest::SetUp()
{
    sim::Reset();
}

void TrevaskTest::TearDown()
{
    EXPECT_EQ(sim::OpenKeyCount(), 0) << "registry keys left open";
    EXPECT_TRUE(sim::Faults().empty()) << "misuse of the platform: " << testing::PrintToString(sim::Faults());
    EXPECT_TRUE(ScriptUsedUp());
    EXPECT_TRUE(HandlersKeptTheirContract());
}

}  // namespace trevask_test
