// What every host test shares: a fresh simulated Windows per test, a way to
// run the program as one process, the registry location it works on and the
// calls it makes (call_log.h).
#ifndef TREVASK_TEST_H
#define TREVASK_TEST_H

#include <gtest/gtest.h>

#include <source_location>
#include <string>
#include <string_view>

#include "resource.h"
#include "platform/simulated_windows.h"
#include "support/call_log.h"
#include "support/driver_key.h"

namespace trevask_test {

// Version words as the systems report them.
constexpr DWORD kWin32s = 0x80000A03;
constexpr DWORD kWin95 = 0xC0000004;
constexpr DWORD kWin98 = 0xC0000A04;
constexpr DWORD kNt31 = 0x01FF0A03;
constexpr DWORD kNt351 = 0x04213303;
constexpr DWORD kNt40 = 0x05650004;
constexpr DWORD kWinXp = 0x0A280105;
constexpr DWORD kWin10 = 0x23F00206;

// Runs TREVASK.EXE once, as its own process, the way the start-up code
// calls WinMain. A script that cannot go on fails the test at the caller's line.
int RunTrevask(const char* commandLine = "", std::source_location caller = std::source_location::current());

// The value once the parameter is added: kParameter as a REG_SZ.
inline const sim::RegistryValue kSet = sim::StringValue(kParameter);

// The value the program works on, or nullopt when it (or its key) is missing.
std::optional<sim::RegistryValue> DriverParameter();
void SetDriverParameter(sim::RegistryValue value);

// The message text as compiled into the resources.
std::string Message(int id);

// A row of a table of cases. Its name names the test and stands for the row
// where a failure prints the test's parameter.
struct Row {
    const char* name;
    operator std::string_view() const { return name; }
};

// For INSTANTIATE_TEST_SUITE_P: names each test after its row.
struct RowName {
    template <class T>
    std::string operator()(const testing::TestParamInfo<T>& info) const
    {
        return info.param.name;
    }
};

// The calls, printed, are exactly these, in this order; a failure shows both
// sequences and where they part.
testing::AssertionResult CallsAre(const std::vector<sim::Call>& calls, const std::vector<std::string>& expected);

// The program's screen handlers.
extern const std::vector<DLGPROC> kProgramHandlers;

// Every scripted action was played.
testing::AssertionResult ScriptUsedUp();
// Every message the program's handlers got was answered as the platform expects.
testing::AssertionResult HandlersKeptTheirContract();

// Starts each test from an empty simulated world, and after it checks that
// the program closed every key it opened, misused no call, used up the
// script and answered every message of every screen as it should.
class TrevaskTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace trevask_test

#endif
