// The world of the simulated Windows: set-up, scripting and inspection.
#include "simulated_windows.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

#include "sim_world.h"

#if defined(__SANITIZE_ADDRESS__)
#define TREVASK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TREVASK_ASAN 1
#endif
#endif
#ifdef TREVASK_ASAN
#include <sanitizer/asan_interface.h>
#endif

#ifndef TREVASK_COMPILED_RESOURCES
#error "TREVASK_COMPILED_RESOURCES must name the compiled .res file"
#endif

namespace sim {

namespace {

constexpr DWORD NT40_VERSION = 0x05650004;  // NT 4.0, build 1381

World* world = nullptr;

const std::set<std::string>& Failable()
{
    static const std::set<std::string> names = {
        "CreateMutexA",       "RegOpenKeyExA",    "RegCreateKeyExA",         "RegQueryValueExA",
        "RegSetValueExA",     "OpenProcessToken", "LookupPrivilegeValueA",   "AdjustTokenPrivileges",
        "InitiateSystemShutdownA", "DialogBoxParamA", "SetDlgItemTextA",    "LoadStringA",
    };
    return names;
}

}  // namespace

World& TheWorld()
{
    if (!world)
        Reset();
    return *world;
}

void Reset()
{
    ClearMarks();
    delete world;
    world = new World;
    world->version = NT40_VERSION;
    world->root.name = "HKEY_LOCAL_MACHINE";
}

const ResourceFile& Resources()
{
    static const ResourceFile resources = ResourceFile::Load(TREVASK_COMPILED_RESOURCES);
    return resources;
}

HINSTANCE ModuleInstance()
{
    return reinterpret_cast<HINSTANCE>(uintptr_t(0x400000));
}

int BeginProcess()
{
    World& w = TheWorld();
    Process process;
    process.id = w.nextProcess++;
    w.processes.push_back(process);
    w.lastError = 0;
    return process.id;
}

void EndProcess()
{
    World& w = TheWorld();
    if (w.processes.empty())
        return;
    int id = w.processes.back().id;
    int leakedKeys = 0;
    for (auto it = w.keys.begin(); it != w.keys.end();) {
        if (it->second.process == id) {
            leakedKeys++;
            it = w.keys.erase(it);
        } else {
            ++it;
        }
    }
    if (leakedKeys)
        RecordFault("process " + std::to_string(id) + " exited with " + std::to_string(leakedKeys) +
                    " registry key(s) still open");
    std::erase_if(w.mutexes, [id](const auto& entry) { return entry.second.process == id; });
    std::erase_if(w.tokens, [id](const auto& entry) { return entry.second.process == id; });
    w.processes.pop_back();
}

Process* CurrentProcess()
{
    World& w = TheWorld();
    return w.processes.empty() ? nullptr : &w.processes.back();
}

void SetVersion(DWORD versionWord) { TheWorld().version = versionWord; }
void SetAdministrator(bool isAdministrator) { TheWorld().administrator = isAdministrator; }
void SetShutdownPrivilegeHeld(bool held) { TheWorld().shutdownPrivilegeHeld = held; }

void FailCall(const std::string& function, DWORD error, int succeedFirst)
{
    if (!Failable().count(function))
        throw std::invalid_argument(function + " cannot be made to fail");
    TheWorld().failures[function] = InjectedFailure{error, succeedFirst, 0};
}

std::vector<std::string> FailableCalls()
{
    return {Failable().begin(), Failable().end()};
}

bool InjectedFailureFor(const char* function, DWORD* error)
{
    World& w = TheWorld();
    auto found = w.failures.find(function);
    if (found == w.failures.end())
        return false;
    InjectedFailure& failure = found->second;
    if (failure.calls++ < failure.succeedFirst)
        return false;
    *error = failure.error;
    return true;
}

void Script(std::vector<Action> actions)
{
    World& w = TheWorld();
    w.script.assign(actions.begin(), actions.end());
}

std::vector<std::string> ActionsLeft()
{
    std::vector<std::string> left;
    for (const Action& action : TheWorld().script)
        left.push_back(action.Describe());
    return left;
}

namespace {

Action MakeAction(Action::Kind kind, int templateId)
{
    Action action;
    action.kind = kind;
    action.templateId = templateId;
    return action;
}

}  // namespace

Action Press(int templateId, int controlId, WORD notification)
{
    Action action = MakeAction(Action::Kind::Press, templateId);
    action.controlId = controlId;
    action.notification = notification;
    return action;
}

Action Enter(int templateId) { return MakeAction(Action::Kind::Enter, templateId); }
Action Escape(int templateId) { return MakeAction(Action::Kind::Escape, templateId); }
Action Tab(int templateId) { return MakeAction(Action::Kind::Tab, templateId); }
Action Space(int templateId) { return MakeAction(Action::Kind::Space, templateId); }

Action Meanwhile(int templateId, std::function<void()> fn)
{
    Action action = MakeAction(Action::Kind::Run, templateId);
    action.run = std::move(fn);
    return action;
}

std::string Action::Describe() const
{
    std::string what;
    switch (kind) {
    case Kind::Press: what = "press button " + std::to_string(controlId); break;
    case Kind::Enter: what = "Enter"; break;
    case Kind::Escape: what = "Escape"; break;
    case Kind::Tab: what = "Tab"; break;
    case Kind::Space: what = "Space"; break;
    case Kind::Run: what = "another program's step"; break;
    }
    return templateId ? what + " on screen " + std::to_string(templateId) : what;
}

std::optional<std::string> ScreenRecord::Text(int controlId) const
{
    for (auto it = texts.rbegin(); it != texts.rend(); ++it)
        if (it->first == controlId)
            return it->second;
    return std::nullopt;
}

std::vector<int> ScreenRecord::Commands() const
{
    std::vector<int> ids;
    for (const HandlerCall& call : handled)
        if (call.message == WM_COMMAND)
            ids.push_back(LOWORD(call.wParam));
    return ids;
}

RegistryValue StringValue(const std::string& text)
{
    RegistryValue value;
    value.type = REG_SZ;
    value.data.assign(text.begin(), text.end());
    value.data.push_back(0);
    return value;
}

const std::deque<ScreenRecord>& Screens() { return TheWorld().screens; }

std::vector<int> ScreenIds()
{
    std::vector<int> ids;
    for (const ScreenRecord& screen : TheWorld().screens)
        ids.push_back(screen.templateId);
    return ids;
}

const std::vector<std::string>& Calls() { return TheWorld().calls; }

std::vector<std::string> CallsTo(const std::string& function)
{
    std::vector<std::string> out;
    for (const std::string& call : TheWorld().calls)
        if (call.compare(0, function.size() + 1, function + "(") == 0)
            out.push_back(call);
    return out;
}

const std::vector<ShutdownRequest>& ShutdownRequests() { return TheWorld().shutdowns; }
const std::vector<std::string>& Faults() { return TheWorld().faults; }

std::vector<std::string> TakeFaults()
{
    std::vector<std::string> faults;
    faults.swap(TheWorld().faults);
    return faults;
}

void LogCall(std::string text) { TheWorld().calls.push_back(std::move(text)); }
void RecordFault(std::string text) { TheWorld().faults.push_back(std::move(text)); }

HANDLE NewHandle()
{
    World& w = TheWorld();
    w.nextHandle += 4;
    return reinterpret_cast<HANDLE>(w.nextHandle);
}

HWND DesktopWindow() { return reinterpret_cast<HWND>(uintptr_t(0x10010)); }

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
    if (handle == reinterpret_cast<HANDLE>(intptr_t(-1)))
        return "CurrentProcess";
    if (handle == DesktopWindow())
        return "Desktop";
    if (handle == ModuleInstance())
        return "Module";
    if (auto key = w.keys.find(static_cast<HKEY>(const_cast<void*>(handle))); key != w.keys.end())
        return "hkey" + std::to_string(key->second.number);
    if (auto token = w.tokens.find(const_cast<void*>(handle)); token != w.tokens.end())
        return "token" + std::to_string(token->second.number);
    if (auto mutex = w.mutexes.find(const_cast<void*>(handle)); mutex != w.mutexes.end())
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

bool PoisonsUnreturnedBytes()
{
#ifdef TREVASK_ASAN
    return true;
#else
    return false;
#endif
}

// Lifts only the marks this simulation set, so that a buffer overrun by the
// program is still caught by the sanitizer.
void MarkWritable(const void* begin, size_t size)
{
    auto& poisoned = TheWorld().poisoned;
    auto* first = static_cast<const char*>(begin);
    for (auto it = poisoned.begin(); it != poisoned.end();) {
        auto* start = static_cast<const char*>(it->first);
        if (start < first + size && first < start + it->second) {
#ifdef TREVASK_ASAN
            ASAN_UNPOISON_MEMORY_REGION(it->first, it->second);
#endif
            it = poisoned.erase(it);
        } else {
            ++it;
        }
    }
}

void MarkUnreadable(const void* begin, size_t size)
{
#ifdef TREVASK_ASAN
    if (!size)
        return;
    ASAN_POISON_MEMORY_REGION(begin, size);
    TheWorld().poisoned.emplace_back(begin, size);
#else
    (void)begin;
    (void)size;
#endif
}

void ClearMarks()
{
    if (!world)
        return;
#ifdef TREVASK_ASAN
    for (const auto& [begin, size] : world->poisoned)
        ASAN_UNPOISON_MEMORY_REGION(begin, size);
#endif
    world->poisoned.clear();
}

}  // namespace sim
