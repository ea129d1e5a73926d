// The simulated Windows behind windows_ops.h in the host build, and the
// handles a test uses to set up the world and play the user.
//
// It models what the program relies on from each call, as the real system
// behaves:
// - a registry under HKEY_LOCAL_MACHINE with typed values, case-blind key
//   and value names, open handles that are tracked, and write access that
//   can be refused as for a user without administrator rights;
// - named mutexes that live while any simulated process holds a handle;
// - modal dialogs built from the compiled resources, driven by a script of
//   user actions, nested as deep as the program opens them, each disabling
//   the screen that owns it;
// - a process token whose shutdown privilege must be enabled before a
//   restart is accepted.
// Every call is recorded, in order, with its arguments. Any call that can
// fail can be made to fail. Misuse that real Windows would reject or crash
// on (a bad handle, a control the dialog lacks) is recorded as a fault.
#ifndef TREVASK_SIMULATED_WINDOWS_H
#define TREVASK_SIMULATED_WINDOWS_H

#include <deque>
#include <functional>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/sim_resources.h"
#include "platform/windows_ops.h"

namespace sim {

// Thrown out of DialogBoxParamA when the script cannot go on (a screen is
// still open but no action is left, or an action names a screen that is not
// open or a button the screen lacks).
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One thing the user does while the program shows its screens. Each is meant
// for one screen, by template number, which may be any open screen, not only
// the newest; 0 means the active screen (the newest one open).
struct Action {
    enum class Kind { Press, Enter, Escape, Tab, Space, Run };
    Kind kind = Kind::Enter;
    int templateId = 0;
    int controlId = 0;               // Press only
    WORD notification = BN_CLICKED;  // Press only: the high word of wParam
    std::function<void()> run;       // Run only: something another program does meanwhile
    std::string Describe() const;
};

// A mouse click on a button: it takes the focus and sends its command.
Action Press(int templateId, int controlId, WORD notification = BN_CLICKED);
// Enter presses the focused push button, or the default button when the
// focus is not on a push button.
Action Enter(int templateId = 0);
// Escape sends IDCANCEL, whether or not the screen has such a button.
Action Escape(int templateId = 0);
// Tab moves the focus to the next tab stop, in template order.
Action Tab(int templateId = 0);
// The space bar presses the focused button.
Action Space(int templateId = 0);
// Runs fn while the given screen is open, as another program would.
Action Meanwhile(int templateId, std::function<void()> fn);

// One message a screen's handler got, and what it returned.
struct HandlerCall {
    UINT message = 0;
    WPARAM wParam = 0;
    INT_PTR result = 0;
    size_t platformCalls = 0;  // calls the handler made while it handled the message
};

// A screen: its state while it is open, and what happened to it.
struct ScreenRecord {
    int templateId = 0;
    std::string title;
    DialogTemplate layout;
    DLGPROC proc = nullptr;
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    LPARAM initParam = 0;
    int depth = 0;           // 0 for a screen with no other screen open beneath it
    int process = 0;
    bool enabled = true;     // false while a screen it owns is open
    bool disabledOwner = false;  // it disabled its owner, and enables it again when it ends
    int focus = 0;           // the control with the keyboard focus; 0 for none
    std::vector<std::pair<int, std::string>> texts;  // every SetDlgItemTextA, in order
    std::vector<HandlerCall> handled;  // every message its handler got, in order
    std::vector<std::string> ignored;  // user actions that reached it while it could not take them
    bool ended = false;      // EndDialog was called
    INT_PTR endCode = 0;

    // The last text set in the control, or nullopt when none was.
    std::optional<std::string> Text(int controlId) const;
    // The commands (control IDs) its handler got, in order.
    std::vector<int> Commands() const;
};

// One call the program made, with its arguments as the log shows them: handles
// by name (hkey1, token1, dialog106, Desktop), strings quoted, flags by value.
struct Call {
    std::string function;
    std::vector<std::string> args;

    bool operator==(const Call&) const = default;
    // "Function(arg, arg)", for golden sequences and failure output.
    std::string Text() const;
};
std::ostream& operator<<(std::ostream& out, const Call& call);

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;

    bool operator==(const RegistryValue&) const = default;
};
RegistryValue StringValue(const std::string& text);  // REG_SZ with its NUL

// A request to shut the system down; its arguments are in the call log.
struct ShutdownRequest {
    bool accepted = false;
};

// Sets up an empty world: no keys under HKEY_LOCAL_MACHINE but the root,
// Windows NT 4.0, an administrator holding the shutdown privilege, no
// processes, an empty script and log.
void Reset();

// The compiled resources that dialogs and strings come from.
const ResourceFile& Resources();
HINSTANCE ModuleInstance();
// What GetDesktopWindow returns, without a call in the log.
HWND DesktopWindow();

// Processes: WinMain runs between Begin and End. Ending one closes its
// handles, as the system does when a process exits.
int BeginProcess();
void EndProcess();

void SetVersion(DWORD versionWord);

// Registry paths are relative to HKEY_LOCAL_MACHINE, separated by '\'.
void SetRegistryValue(const std::string& keyPath, const std::string& name, RegistryValue value);
std::optional<RegistryValue> GetRegistryValue(const std::string& keyPath, const std::string& name);
bool KeyExists(const std::string& keyPath);
int OpenKeyCount();

// false: opening or creating a key under HKEY_LOCAL_MACHINE for writing, and
// writing a value, fail with ERROR_ACCESS_DENIED.
void SetAdministrator(bool isAdministrator);
void SetShutdownPrivilegeHeld(bool held);

// Makes every call of the named function fail with the given error, after
// the first `succeedFirst` calls. Throws std::invalid_argument for a call
// that has no way to fail.
void FailCall(const std::string& function, DWORD error, int succeedFirst = 0);
std::vector<std::string> FailableCalls();

void Script(std::vector<Action> actions);
// The actions not played yet, described.
std::vector<std::string> ActionsLeft();

const std::deque<ScreenRecord>& Screens();
std::vector<int> ScreenIds();
// Every platform call, in order.
const std::vector<Call>& Calls();
std::vector<Call> CallsTo(const std::string& function);
const std::vector<ShutdownRequest>& ShutdownRequests();
// Misuse of the platform seen so far (bad handles, missing controls, ...).
const std::vector<std::string>& Faults();
// The faults seen so far, which the caller expected; they are forgotten.
std::vector<std::string> TakeFaults();

}  // namespace sim

#endif
