// Simulated user32: modal dialogs from the compiled templates, played by a
// scripted user, and messages from the compiled string table.
#include <cstring>

#include "sim_world.h"

namespace sim {
namespace {

constexpr uint32_t WS_VISIBLE_STYLE = 0x10000000;
constexpr uint32_t WS_DISABLED_STYLE = 0x08000000;
constexpr uint32_t WS_TABSTOP_STYLE = 0x00010000;

std::string ScreenName(const Dialog& dialog)
{
    const ScreenRecord& record = TheWorld().screens[dialog.record];
    return "screen " + std::to_string(record.templateId) + " \"" + record.title + "\"";
}

std::string ScreensSoFar()
{
    std::string text;
    for (const ScreenRecord& screen : TheWorld().screens)
        text += (text.empty() ? "" : ", ") + std::to_string(screen.templateId) + " \"" + screen.title + "\"";
    return "screens opened so far: " + (text.empty() ? std::string("none") : text);
}

void SendCommand(Dialog& dialog, int controlId, WORD notification = BN_CLICKED)
{
    dialog.proc(dialog.hwnd, WM_COMMAND, MAKEWPARAM(controlId, notification),
                reinterpret_cast<LPARAM>(ControlWindow(dialog, controlId)));
}

// Plays one scripted action on the innermost open screen.
void Play(Dialog& dialog, const Action& action)
{
    const ScreenRecord& record = TheWorld().screens[dialog.record];
    if (action.templateId && action.templateId != record.templateId)
        throw ScriptError("the script's next action, " + action.Describe() + ", does not fit: " +
                          ScreenName(dialog) + " is open; " + ScreensSoFar());
    switch (action.kind) {
    case Action::Kind::Press: {
        const DialogControl* control = dialog.layout.Control(action.controlId);
        if (!control || !(control->windowClass == NameOrId{true, BUTTON_CLASS, {}}) ||
            !(control->style & WS_VISIBLE_STYLE) || (control->style & WS_DISABLED_STYLE))
            throw ScriptError(ScreenName(dialog) + " has no button " + std::to_string(action.controlId) +
                              " that a user could press");
        SendCommand(dialog, action.controlId, action.notification);
        break;
    }
    case Action::Kind::Enter:
        SendCommand(dialog, dialog.layout.DefaultButtonId());
        break;
    case Action::Kind::Escape:
        SendCommand(dialog, IDCANCEL);
        break;
    case Action::Kind::Run:
        action.run();
        break;
    }
}

}  // namespace

Dialog* FindDialog(HWND hwnd)
{
    for (auto& dialog : TheWorld().dialogs)
        if (dialog->hwnd == hwnd)
            return dialog.get();
    return nullptr;
}

// Controls get handles just above their dialog's; NULL for a missing one, as GetDlgItem gives.
HWND ControlWindow(const Dialog& dialog, int controlId)
{
    for (size_t i = 0; i < dialog.layout.controls.size(); i++)
        if (dialog.layout.controls[i].id == controlId)
            return reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(dialog.hwnd) + 1 + i);
    return nullptr;
}

}  // namespace sim

using namespace sim;

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam)
{
    World& w = TheWorld();
    std::string templateName = IS_INTRESOURCE(lpTemplateName)
                                   ? std::to_string(reinterpret_cast<uintptr_t>(lpTemplateName))
                                   : DescribeString(lpTemplateName);
    LogCall("DialogBoxParamA(" + DescribeHandle(hInstance) + ", " + templateName + ", " + DescribeHandle(hWndParent) +
            ", " + (lpDialogFunc ? "proc" : "NULL") + ", " + std::to_string(dwInitParam) + ")");
    DWORD error;
    if (InjectedFailureFor("DialogBoxParamA", &error)) {
        w.lastError = error;
        return -1;
    }
    if (hInstance != ModuleInstance() || !IS_INTRESOURCE(lpTemplateName)) {
        w.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return -1;
    }
    int templateId = int(reinterpret_cast<uintptr_t>(lpTemplateName));
    std::optional<DialogTemplate> layout = Resources().Dialog(templateId);
    if (!layout) {
        w.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return -1;
    }
    if (layout->extended) {
        RecordFault("template " + std::to_string(templateId) + " is an extended template");
        w.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return -1;
    }
    if (hWndParent && hWndParent != DesktopWindow() && !FindDialog(hWndParent)) {
        w.lastError = ERROR_INVALID_WINDOW_HANDLE;
        return -1;
    }
    if (!lpDialogFunc) {
        RecordFault("DialogBoxParamA without a dialog procedure");
        w.lastError = ERROR_INVALID_PARAMETER;
        return -1;
    }

    ScreenRecord record;
    record.templateId = templateId;
    record.title = layout->title;
    record.owner = hWndParent;
    record.initParam = dwInitParam;
    record.depth = int(w.dialogs.size());
    record.process = CurrentProcess() ? CurrentProcess()->id : 0;
    w.screens.push_back(record);

    auto owned = std::make_unique<Dialog>();
    Dialog& dialog = *owned;
    w.nextWindow += 0x100;
    dialog.hwnd = reinterpret_cast<HWND>(w.nextWindow);
    dialog.layout = std::move(*layout);
    dialog.proc = lpDialogFunc;
    dialog.record = w.screens.size() - 1;
    w.dialogs.push_back(std::move(owned));

    // The first tab stop gets the focus when WM_INITDIALOG returns TRUE.
    HWND focus = nullptr;
    for (const DialogControl& control : dialog.layout.controls)
        if (!focus && (control.style & WS_TABSTOP_STYLE))
            focus = ControlWindow(dialog, control.id);
    dialog.proc(dialog.hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), dwInitParam);

    while (!dialog.ended) {
        if (w.script.empty())
            throw ScriptError(ScreenName(dialog) + " is still open, and the script has no more actions; " +
                              ScreensSoFar());
        Action action = std::move(w.script.front());
        w.script.pop_front();
        Play(dialog, action);
    }

    INT_PTR code = dialog.code;
    w.screens[dialog.record].ended = true;
    w.screens[dialog.record].endCode = code;
    w.dialogs.pop_back();
    return code;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult)
{
    LogCall("EndDialog(" + DescribeHandle(hDlg) + ", " + std::to_string(nResult) + ")");
    Dialog* dialog = FindDialog(hDlg);
    if (!dialog || dialog->ended) {
        RecordFault("EndDialog on a window that is not an open dialog: " + DescribeHandle(hDlg));
        TheWorld().lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    dialog->ended = true;
    dialog->code = nResult;
    return TRUE;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString)
{
    World& w = TheWorld();
    LogCall("SetDlgItemTextA(" + DescribeHandle(hDlg) + ", " + std::to_string(nIDDlgItem) + ", " +
            DescribeString(lpString) + ")");
    DWORD error;
    if (InjectedFailureFor("SetDlgItemTextA", &error)) {
        w.lastError = error;
        return FALSE;
    }
    Dialog* dialog = FindDialog(hDlg);
    if (!dialog) {
        RecordFault("SetDlgItemTextA on a window that is not an open dialog: " + DescribeHandle(hDlg));
        w.lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    if (!dialog->layout.Control(nIDDlgItem)) {
        RecordFault("SetDlgItemTextA on control " + std::to_string(nIDDlgItem) + ", which " + ScreenName(*dialog) +
                    " does not have");
        w.lastError = ERROR_CONTROL_ID_NOT_FOUND;
        return FALSE;
    }
    w.screens[dialog->record].texts.emplace_back(nIDDlgItem, lpString ? lpString : "");
    return TRUE;
}

int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax)
{
    World& w = TheWorld();
    LogCall("LoadStringA(" + DescribeHandle(hInstance) + ", " + std::to_string(uID) + ", " +
            (lpBuffer ? "buffer" : "NULL") + ", " + std::to_string(cchBufferMax) + ")");
    if (!lpBuffer || cchBufferMax <= 0) {
        RecordFault("LoadStringA without a buffer to copy into");
        return 0;
    }
    MarkWritable(lpBuffer, size_t(cchBufferMax));
    lpBuffer[0] = '\0';
    DWORD error;
    if (InjectedFailureFor("LoadStringA", &error)) {
        w.lastError = error;
        return 0;
    }
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
    LogCall("GetDesktopWindow()");
    return DesktopWindow();
}
