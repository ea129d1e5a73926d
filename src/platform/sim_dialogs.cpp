// Simulated user32: modal dialogs from the compiled templates, played by a
// scripted user, and messages from the compiled string table.
//
// The dialog manager follows the real one where the program leans on it: a
// modal screen disables its owner (unless that is the desktop) until it ends;
// a disabled or ended screen takes no clicks or keys; WM_INITDIALOG that
// returns TRUE gives the focus to the first tab stop; Enter presses the
// focused push button, or else the default one; Escape sends IDCANCEL.
#include <cstring>

#include "platform/sim_world.h"

namespace sim {
namespace {

// A screen as the messages name it: its template and its title.
std::string TemplateAndTitle(const ScreenRecord& screen)
{
    return std::to_string(screen.templateId) + " \"" + screen.title + "\"";
}

std::string ScreenName(const ScreenRecord& screen) { return "screen " + TemplateAndTitle(screen); }

std::string ScreensSoFar()
{
    World& w = TheWorld();
    std::string text;
    for (const ScreenRecord& screen : w.screens)
        text += (text.empty() ? "" : ", ") + TemplateAndTitle(screen);
    std::string open;
    for (size_t index : w.open)
        open += (open.empty() ? "" : ", ") + std::to_string(w.screens[index].templateId);
    return "screens opened so far: " + (text.empty() ? std::string("none") : text) +
           "; open now: " + (open.empty() ? std::string("none") : open);
}

// The control that follows the focus in tab order, wrapping around; the
// first tab stop when nothing has the focus.
int NextTabStop(const ScreenRecord& screen)
{
    const auto& controls = screen.layout.controls;
    size_t first = 0;  // where the search starts
    for (size_t i = 0; i < controls.size(); i++)
        if (screen.focus && controls[i].id == screen.focus)
            first = i + 1;
    for (size_t step = 0; step < controls.size(); step++) {
        const DialogControl& control = controls[(first + step) % controls.size()];
        if (control.CanTakeFocus())
            return control.id;
    }
    return screen.focus;
}

// On Windows a handler's locals start out as whatever the dialog manager's
// own calls left on the stack, never as zeros. Filling the stack the handler
// is about to use with a pattern makes a local it forgets to set show up in
// the call log (as a5a5a5a5) instead of passing as a lucky zero.
[[gnu::noinline]] void LeaveLeftoversOnTheStack()
{
    volatile unsigned char leftovers[16384];
    for (size_t i = 0; i < sizeof leftovers; i++)
        leftovers[i] = 0xA5;
}

// Hands one message to the screen's handler and records what it returned.
INT_PTR Deliver(ScreenRecord& screen, UINT message, WPARAM wParam, LPARAM lParam)
{
    size_t callsBefore = TheWorld().calls.size();
    LeaveLeftoversOnTheStack();
    INT_PTR result = screen.proc(screen.hwnd, message, wParam, lParam);
    screen.handled.push_back(HandlerCall{message, wParam, result, TheWorld().calls.size() - callsBefore});
    return result;
}

void SendCommand(ScreenRecord& screen, int controlId, WORD notification = BN_CLICKED)
{
    Deliver(screen, WM_COMMAND, MAKEWPARAM(controlId, notification),
            reinterpret_cast<LPARAM>(ControlWindow(screen, controlId)));
}

// The newest open screen with this template, or the active screen for 0.
ScreenRecord* NewestOpenScreen(int templateId)
{
    World& w = TheWorld();
    for (auto it = w.open.rbegin(); it != w.open.rend(); ++it)
        if (!templateId || w.screens[*it].templateId == templateId)
            return &w.screens[*it];
    return nullptr;
}

void Play(const Action& action)
{
    ScreenRecord* screen = NewestOpenScreen(action.templateId);
    if (!screen)
        throw ScriptError("the script's next action, " + action.Describe() + ", is for a screen that is not open; " +
                          ScreensSoFar());
    if (action.kind == Action::Kind::Run) {
        action.run();
        return;
    }
    // A disabled window takes no input, and an ended one is already hidden.
    if (!screen->enabled || screen->ended) {
        screen->ignored.push_back(action.Describe());
        return;
    }
    switch (action.kind) {
    case Action::Kind::Press: {
        const DialogControl* control = screen->layout.Control(action.controlId);
        if (!control || !control->IsButton() || !control->TakesInput())
            throw ScriptError(ScreenName(*screen) + " has no button " + std::to_string(action.controlId) +
                              " that a user could press");
        screen->focus = action.controlId;
        SendCommand(*screen, action.controlId, action.notification);
        break;
    }
    case Action::Kind::Enter: {
        const DialogControl* focused = screen->layout.Control(screen->focus);
        SendCommand(*screen, focused && focused->IsPushButton() ? focused->id : screen->layout.DefaultButtonId());
        break;
    }
    case Action::Kind::Escape:
        SendCommand(*screen, IDCANCEL);
        break;
    case Action::Kind::Tab:
        screen->focus = NextTabStop(*screen);
        break;
    case Action::Kind::Space: {
        const DialogControl* focused = screen->layout.Control(screen->focus);
        if (focused && focused->IsButton())
            SendCommand(*screen, focused->id);
        else
            screen->ignored.push_back(action.Describe() + " (no button has the focus)");
        break;
    }
    case Action::Kind::Run:
        break;
    }
}

// EndDialog gives the owner back its input at once, as the real one does.
void EnableOwner(ScreenRecord& screen)
{
    if (!screen.disabledOwner)
        return;
    screen.disabledOwner = false;
    if (ScreenRecord* owner = FindScreen(screen.owner))
        owner->enabled = true;
}

// Why DialogBoxParamA makes no dialog from these arguments: what it returns,
// and the error it leaves for GetLastError.
struct Refusal {
    INT_PTR result;
    DWORD error;
};

// nullopt when a dialog can be made, with its template in *layout.
std::optional<Refusal> RefuseDialog(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                                    std::optional<DialogTemplate>* layout)
{
    // No instance stands for the process's own module, as for FindResource.
    if ((hInstance && hInstance != ModuleInstance()) || !IS_INTRESOURCE(lpTemplateName))
        return Refusal{-1, ERROR_RESOURCE_NAME_NOT_FOUND};
    int templateId = int(reinterpret_cast<uintptr_t>(lpTemplateName));
    *layout = Resources().Dialog(templateId);
    if (!*layout)
        return Refusal{-1, ERROR_RESOURCE_NAME_NOT_FOUND};
    if ((*layout)->extended) {
        RecordFault("template " + std::to_string(templateId) + " is an extended template");
        return Refusal{-1, ERROR_RESOURCE_NAME_NOT_FOUND};
    }
    // The owner is the desktop, no window at all, or a screen whose modal loop
    // still runs. Any other owner ends the call with 0, not -1, "for
    // compatibility with previous versions" of Windows.
    if (hWndParent && hWndParent != DesktopWindow() && !FindScreen(hWndParent))
        return Refusal{0, ERROR_INVALID_WINDOW_HANDLE};
    if (!lpDialogFunc) {
        RecordFault("DialogBoxParamA without a dialog procedure");
        return Refusal{-1, ERROR_INVALID_PARAMETER};
    }
    return std::nullopt;
}

// A new screen, open over the others and modal: it keeps its owner from
// taking input until it ends.
ScreenRecord& OpenModal(int templateId, DialogTemplate layout, DLGPROC proc, HWND owner, LPARAM initParam)
{
    World& w = TheWorld();
    ScreenRecord* ownerScreen = FindScreen(owner);
    w.nextWindow += 0x100;
    ScreenRecord& screen = w.screens.emplace_back();  // a deque: the reference outlives nested screens
    screen.templateId = templateId;
    screen.title = layout.title;
    screen.layout = std::move(layout);
    screen.proc = proc;
    screen.hwnd = reinterpret_cast<HWND>(w.nextWindow);
    screen.owner = owner;
    screen.initParam = initParam;
    screen.depth = int(w.open.size());
    screen.process = CurrentProcessId();
    w.open.push_back(w.screens.size() - 1);
    if (ownerScreen && ownerScreen->enabled) {
        ownerScreen->enabled = false;
        screen.disabledOwner = true;
    }
    return screen;
}

// On every way out of a modal loop, the one that ends it and a script that
// cannot go on: the owner gets its input back and the screen is no longer open.
struct LeavesModalLoop {
    ScreenRecord& screen;
    ~LeavesModalLoop()
    {
        EnableOwner(screen);
        TheWorld().open.pop_back();
    }
};

// The messages a new dialog gets before it is shown; a TRUE from
// WM_INITDIALOG asks the system to give the focus to the control in wParam.
void InitDialog(ScreenRecord& screen)
{
    Deliver(screen, WM_SETFONT, 0, TRUE);
    int firstTabStop = 0;
    for (const DialogControl& control : screen.layout.controls)
        if (!firstTabStop && control.CanTakeFocus())
            firstTabStop = control.id;
    if (Deliver(screen, WM_INITDIALOG, reinterpret_cast<WPARAM>(ControlWindow(screen, firstTabStop)),
                screen.initParam))
        screen.focus = firstTabStop;
}

// The user's actions, one at a time, until the handler ends the screen.
void RunModalLoop(ScreenRecord& screen)
{
    World& w = TheWorld();
    while (!screen.ended) {
        if (w.script.empty())
            throw ScriptError(ScreenName(screen) + " is still open, and the script has no more actions; " +
                              ScreensSoFar());
        Action action = std::move(w.script.front());
        w.script.pop_front();
        Play(action);
    }
}

}  // namespace

ScreenRecord* FindScreen(HWND hwnd)
{
    World& w = TheWorld();
    for (size_t index : w.open)
        if (hwnd && w.screens[index].hwnd == hwnd)
            return &w.screens[index];
    return nullptr;
}

void Script(std::vector<Action> actions) { TheWorld().script.assign(actions.begin(), actions.end()); }

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

// Controls get handles just above their dialog's; NULL for a missing one, as GetDlgItem gives.
HWND ControlWindow(const ScreenRecord& screen, int controlId)
{
    for (size_t i = 0; i < screen.layout.controls.size(); i++)
        if (screen.layout.controls[i].id == controlId)
            return reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(screen.hwnd) + 1 + i);
    return nullptr;
}

}  // namespace sim

using namespace sim;

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam)
{
    std::string templateName = IS_INTRESOURCE(lpTemplateName)
                                   ? std::to_string(reinterpret_cast<uintptr_t>(lpTemplateName))
                                   : DescribeString(lpTemplateName);
    if (BeginCall("DialogBoxParamA", {DescribeHandle(hInstance), templateName, DescribeHandle(hWndParent),
                                      lpDialogFunc ? "proc" : "NULL", std::to_string(dwInitParam)}))
        return -1;
    std::optional<DialogTemplate> layout;
    if (std::optional<Refusal> refusal = RefuseDialog(hInstance, lpTemplateName, hWndParent, lpDialogFunc, &layout)) {
        TheWorld().lastError = refusal->error;
        return refusal->result;
    }
    ScreenRecord& screen = OpenModal(int(reinterpret_cast<uintptr_t>(lpTemplateName)), std::move(*layout), lpDialogFunc,
                                     hWndParent, dwInitParam);
    LeavesModalLoop leaves{screen};
    InitDialog(screen);
    RunModalLoop(screen);
    return screen.endCode;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult)
{
    BeginCall("EndDialog", {DescribeHandle(hDlg), std::to_string(nResult)});
    ScreenRecord* screen = FindScreen(hDlg);
    if (!screen || screen->ended) {
        RecordFault("EndDialog on a window that is not an open dialog: " + DescribeHandle(hDlg));
        TheWorld().lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    screen->ended = true;
    screen->endCode = nResult;
    EnableOwner(*screen);
    return TRUE;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString)
{
    World& w = TheWorld();
    if (BeginCall("SetDlgItemTextA", {DescribeHandle(hDlg), std::to_string(nIDDlgItem), DescribeString(lpString)}))
        return FALSE;
    ScreenRecord* screen = FindScreen(hDlg);
    if (!screen) {
        RecordFault("SetDlgItemTextA on a window that is not a dialog: " + DescribeHandle(hDlg));
        w.lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    if (!screen->layout.Control(nIDDlgItem)) {
        RecordFault("SetDlgItemTextA on control " + std::to_string(nIDDlgItem) + ", which " + ScreenName(*screen) +
                    " does not have");
        w.lastError = ERROR_CONTROL_ID_NOT_FOUND;
        return FALSE;
    }
    screen->texts.emplace_back(nIDDlgItem, lpString ? lpString : "");
    return TRUE;
}

int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax)
{
    World& w = TheWorld();
    std::optional<DWORD> failure = BeginCall(
        "LoadStringA", {DescribeHandle(hInstance), std::to_string(uID), lpBuffer ? "buffer" : "NULL",
                        std::to_string(cchBufferMax)});
    if (!lpBuffer || cchBufferMax <= 0) {
        RecordFault("LoadStringA without a buffer to copy into");
        return 0;
    }
    MarkWritable(lpBuffer, size_t(cchBufferMax));
    lpBuffer[0] = '\0';
    if (failure)
        return 0;
    std::optional<std::string> text;
    if (hInstance == ModuleInstance())
        text = Resources().String(int(uID));
    if (!text) {
        w.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return 0;
    }
    size_t copied = std::min(text->size(), size_t(cchBufferMax - 1));
    std::memcpy(lpBuffer, text->data(), copied);
    lpBuffer[copied] = '\0';
    return int(copied);
}

HWND WINAPI GetDesktopWindow(void)
{
    BeginCall("GetDesktopWindow", {});
    return DesktopWindow();
}
