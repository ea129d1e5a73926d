// The call log of the simulated Windows, the failures a test injects, and the
// names that calls' arguments get in the log.
#include <cstdio>
#include <ostream>

#include "platform/sim_world.h"

namespace sim {
namespace {

// How a call that fails tells the caller why.
enum class Reports { ReturnValue, LastError };

// Every call a test can make fail, and how each reports a failure.
const std::map<std::string, Reports>& Failable()
{
    static const std::map<std::string, Reports> calls = {
        {"CreateMutexA", Reports::LastError},
        {"RegOpenKeyExA", Reports::ReturnValue},
        {"RegCreateKeyExA", Reports::ReturnValue},
        {"RegQueryValueExA", Reports::ReturnValue},
        {"RegSetValueExA", Reports::ReturnValue},
        {"OpenProcessToken", Reports::LastError},
        {"LookupPrivilegeValueA", Reports::LastError},
        {"AdjustTokenPrivileges", Reports::LastError},
        {"InitiateSystemShutdownA", Reports::LastError},
        {"DialogBoxParamA", Reports::LastError},
        {"SetDlgItemTextA", Reports::LastError},
        {"LoadStringA", Reports::LastError},
    };
    return calls;
}

}  // namespace

void FailCall(const std::string& function, DWORD error, int succeedFirst)
{
    if (!Failable().count(function))
        throw std::invalid_argument(function + " cannot be made to fail");
    TheWorld().failures[function] = InjectedFailure{error, succeedFirst, 0};
}

std::vector<std::string> FailableCalls()
{
    std::vector<std::string> names;
    for (const auto& [name, reports] : Failable())
        names.push_back(name);
    return names;
}

std::optional<DWORD> BeginCall(const char* function, std::vector<std::string> args)
{
    World& w = TheWorld();
    w.calls.push_back(Call{function, std::move(args)});
    auto found = w.failures.find(function);
    if (found == w.failures.end() || found->second.calls++ < found->second.succeedFirst)
        return std::nullopt;
    if (Failable().at(function) == Reports::LastError)
        w.lastError = found->second.error;
    return found->second.error;
}

std::string Call::Text() const
{
    std::string text = function + "(";
    for (size_t i = 0; i < args.size(); i++)
        text += (i ? ", " : "") + args[i];
    return text + ")";
}

std::ostream& operator<<(std::ostream& out, const Call& call) { return out << call.Text(); }

const std::vector<Call>& Calls() { return TheWorld().calls; }

std::vector<Call> CallsTo(const std::string& function)
{
    std::vector<Call> out;
    for (const Call& call : TheWorld().calls)
        if (call.function == function)
            out.push_back(call);
    return out;
}

void RecordFault(std::string text) { TheWorld().faults.push_back(std::move(text)); }
const std::vector<std::string>& Faults() { return TheWorld().faults; }

std::vector<std::string> TakeFaults()
{
    std::vector<std::string> faults;
    faults.swap(TheWorld().faults);
    return faults;
}

std::string Hex(uintptr_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

std::string DescribeHandle(const void* handle)
{
    World& w = TheWorld();
    if (!handle)
        return "NULL";
    if (handle == HKEY_LOCAL_MACHINE)
        return "HKEY_LOCAL_MACHINE";
    if (handle == CurrentProcessHandle())
        return "CurrentProcess";
    if (handle == DesktopWindow())
        return "Desktop";
    if (handle == ModuleInstance())
        return "Module";
    if (auto key = w.openKeys.find(static_cast<HKEY>(const_cast<void*>(handle))); key != w.openKeys.end())
        return "hkey" + std::to_string(key->second.number);
    if (auto token = w.openTokens.find(const_cast<void*>(handle)); token != w.openTokens.end())
        return "token" + std::to_string(token->second.number);
    if (auto mutex = w.heldMutexes.find(const_cast<void*>(handle)); mutex != w.heldMutexes.end())
        return "mutex" + std::to_string(mutex->second.number);
    for (const ScreenRecord& screen : w.screens)
        if (screen.hwnd == handle)
            return "dialog" + std::to_string(screen.templateId);
    return Hex(reinterpret_cast<uintptr_t>(handle));
}

std::string DescribeString(LPCSTR text)
{
    return text ? "\"" + std::string(text) + "\"" : "NULL";
}

std::string DescribeBool(BOOL value)
{
    return value == FALSE ? "FALSE" : value == TRUE ? "TRUE" : std::to_string(value);
}

}  // namespace sim
