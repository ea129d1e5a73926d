#include "trevask_test.h"

namespace trevask_test {

int RunTrevask(const char* commandLine)
{
    sim::BeginProcess();
    int exitCode = -1;
    try {
        exitCode = WinMain(sim::ModuleInstance(), nullptr, const_cast<LPSTR>(commandLine), SW_SHOWDEFAULT);
    } catch (const sim::ScriptError& error) {
        ADD_FAILURE() << "the simulated user could not go on: " << error.what();
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

void TrevaskTest::SetUp()
{
    sim::Reset();
}

void TrevaskTest::TearDown()
{
    EXPECT_EQ(sim::OpenKeyCount(), 0) << "registry keys left open";
    EXPECT_TRUE(sim::Faults().empty()) << "misuse of the platform: " << testing::PrintToString(sim::Faults());
}

}  // namespace trevask_test
