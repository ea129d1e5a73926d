// The world of the simulated Windows: set-up, processes and what a test reads back.
#include "platform/simulated_windows.h"

#include "platform/sim_world.h"

#ifndef TREVASK_COMPILED_RESOURCES
#error "TREVASK_COMPILED_RESOURCES must name the compiled .res file"
#endif

namespace sim {
namespace {

constexpr DWORD NT40_VERSION = 0x05650004;  // NT 4.0, build 1381

World* world = nullptr;

}  // namespace

World& TheWorld()
{
    if (!world)
        Reset();
    return *world;
}

void Reset()
{
    if (world)
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

HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(uintptr_t(0x400000)); }
HWND DesktopWindow() { return reinterpret_cast<HWND>(uintptr_t(0x10010)); }
HANDLE CurrentProcessHandle() { return reinterpret_cast<HANDLE>(intptr_t(-1)); }

int BeginProcess()
{
    World& w = TheWorld();
    Process process;
    process.id = w.nextProcess++;
    w.processes.push_back(process);
    w.lastError = 0;
    return process.id;
}

// The system closes what an exiting process left open; keys left open are the program's fault.
void EndProcess()
{
    World& w = TheWorld();
    if (w.processes.empty())
        return;
    int id = w.processes.back().id;
    size_t leakedKeys = std::erase_if(w.openKeys, [id](const auto& entry) { return entry.second.process == id; });
    if (leakedKeys)
        RecordFault("process " + std::to_string(id) + " exited with " + std::to_string(leakedKeys) +
                    " registry key(s) still open");
    std::erase_if(w.heldMutexes, [id](const auto& entry) { return entry.second.process == id; });
    std::erase_if(w.openTokens, [id](const auto& entry) { return entry.second.process == id; });
    w.processes.pop_back();
}

Process* CurrentProcess()
{
    World& w = TheWorld();
    return w.processes.empty() ? nullptr : &w.processes.back();
}

int CurrentProcessId() { return CurrentProcess() ? CurrentProcess()->id : 0; }

void SetVersion(DWORD versionWord) { TheWorld().version = versionWord; }
void SetAdministrator(bool isAdministrator) { TheWorld().administrator = isAdministrator; }
void SetShutdownPrivilegeHeld(bool held) { TheWorld().shutdownPrivilegeHeld = held; }

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

const std::vector<ShutdownRequest>& ShutdownRequests() { return TheWorld().shutdowns; }

HANDLE NewHandle()
{
    World& w = TheWorld();
    w.nextHandle += 4;
    return reinterpret_cast<HANDLE>(w.nextHandle);
}

}  // namespace sim
