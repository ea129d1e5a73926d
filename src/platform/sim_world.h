// The state of the simulated Windows, shared by the files that implement
// its calls. Tests reach it only through simulated_windows.h.
#ifndef TREVASK_SIM_WORLD_H
#define TREVASK_SIM_WORLD_H

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/simulated_windows.h"

namespace sim {

struct Key {
    std::string name;
    std::map<std::string, std::unique_ptr<Key>> subkeys;  // by lower-case name
    struct NamedValue {
        std::string name;
        RegistryValue value;
    };
    std::map<std::string, NamedValue> values;  // by lower-case name
};

// What a handle stands for, in the tables of open handles. Each carries the
// process that holds it and a number that names it in the call log.
struct Holder {
    int process = 0;
    int number = 0;
};

struct OpenKey : Holder {
    Key* key = nullptr;
    REGSAM access = 0;
};

struct HeldMutex : Holder {
    std::string name;  // "" for an unnamed mutex
};

struct OpenToken : Holder {
    DWORD access = 0;
};

struct Process {
    int id = 0;
    bool shutdownEnabled = false;
};

struct InjectedFailure {
    DWORD error = 0;
    int succeedFirst = 0;
    int calls = 0;
};

struct World {
    DWORD version = 0;
    DWORD lastError = 0;
    bool administrator = true;
    bool shutdownPrivilegeHeld = true;

    Key root;
    std::map<HKEY, OpenKey> openKeys;
    std::map<HANDLE, HeldMutex> heldMutexes;
    std::map<HANDLE, OpenToken> openTokens;
    uintptr_t nextHandle = 0x1000;
    int keysOpened = 0, tokensOpened = 0, mutexesCreated = 0;  // to name handles in the log

    std::vector<Process> processes;  // innermost last
    int nextProcess = 1;

    std::deque<ScreenRecord> screens;  // every screen opened, in order
    std::vector<size_t> open;          // those in a modal loop, innermost last
    uintptr_t nextWindow = 0x20000;

    std::deque<Action> script;
    std::vector<Call> calls;
    std::vector<std::string> faults;
    std::vector<ShutdownRequest> shutdowns;
    std::map<std::string, InjectedFailure> failures;
    std::vector<std::pair<const void*, size_t>> poisoned;
};

World& TheWorld();

// What every simulated call does first: it records itself and, when the test
// made it fail, returns the error to report. For the calls that report
// failure through GetLastError, the last error is set here too.
std::optional<DWORD> BeginCall(const char* function, std::vector<std::string> args);
void RecordFault(std::string text);

// Names for handles and arguments in the call log.
std::string DescribeHandle(const void* handle);
std::string DescribeString(LPCSTR text);
std::string DescribeBool(BOOL value);
std::string Hex(uintptr_t value);

HANDLE NewHandle();
// What GetCurrentProcess returns: the pseudo-handle -1, which stands for the calling process.
HANDLE CurrentProcessHandle();
Process* CurrentProcess();
int CurrentProcessId();  // 0 outside any process
// The screen whose window still exists (its modal loop runs); nullptr otherwise.
ScreenRecord* FindScreen(HWND hwnd);
HWND ControlWindow(const ScreenRecord& screen, int controlId);

// Sanitizer marks on caller-owned buffers.
void MarkWritable(const void* begin, size_t size);
void MarkUnreadable(const void* begin, size_t size);
void ClearMarks();

}  // namespace sim

#endif
