#include "support/call_log.h"

#include "resource.h"
#include "support/driver_key.h"
#include "support/trevask_test.h"

namespace trevask_test {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
std::string Dialog(int templateId) { return "dialog" + std::to_string(templateId); }
std::string Key(int number) { return "hkey" + std::to_string(number); }

}  // namespace

CallTexts Then(std::initializer_list<CallTexts> pieces)
{
    CallTexts calls;
    for (const CallTexts& piece : pieces)
        calls.insert(calls.end(), piece.begin(), piece.end());
    return calls;
}

CallTexts OpensFromDesktop(int templateId)
{
    return {"GetDesktopWindow()", "DialogBoxParamA(Module, " + std::to_string(templateId) + ", Desktop, proc, 0)"};
}

std::string OpensOver(int templateId, int ownerTemplateId)
{
    return "DialogBoxParamA(Module, " + std::to_string(templateId) + ", " + Dialog(ownerTemplateId) + ", proc, 0)";
}

std::string Ends(int templateId, int endCode)
{
    return "EndDialog(" + Dialog(templateId) + ", " + std::to_string(endCode) + ")";
}

std::string LoadsMessage(int message) { return "LoadStringA(Module, " + std::to_string(message) + ", buffer, 1024)"; }

CallTexts Shows(int templateId, int control, int message, bool loaded)
{
    return {LoadsMessage(message), "SetDlgItemTextA(" + Dialog(templateId) + ", " + std::to_string(control) + ", " +
                                       Quoted(loaded ? Message(message) : "") + ")"};
}

std::string OpensDriverKey() { return "RegOpenKeyExA(HKEY_LOCAL_MACHINE, " + Quoted(kDriverKey) + ", 0, 0xf003f)"; }

std::string CreatesDriverKey()
{
    return "RegCreateKeyExA(HKEY_LOCAL_MACHINE, " + Quoted(kDriverKey) + ", 0, \"\", 0, 0xf003f, NULL)";
}

CallTexts ReadsValue(int key)
{
    return {"RegQueryValueExA(" + Key(key) + ", " + Quoted(kValueName) + ", NULL, type, buffer, 256)", ClosesKey(key)};
}

std::string WritesValue(int key, const std::string& text)
{
    return "RegSetValueExA(" + Key(key) + ", " + Quoted(kValueName) + ", 0, 1, " + Quoted(text) + ", " +
           std::to_string(text.size() + 1) + ")";
}

std::string ClosesKey(int key) { return "RegCloseKey(" + Key(key) + ")"; }

CallTexts SingleInstanceCheck() { return {"CreateMutexA(NULL, TRUE, \"TREVASK_MUTEX\")", "GetLastError()"}; }

CallTexts Startup() { return Then({SingleInstanceCheck(), {"GetVersion()"}, OpensFromDesktop(IDD_CONFIRMATION)}); }

CallTexts WriteAndContinue(int key)
{
    return {CreatesDriverKey(), WritesValue(key, kParameter), ClosesKey(key), Ends(IDD_CONFIRMATION, 1)};
}

CallTexts ChangeFailedNotice()
{
    return Then({{Ends(IDD_CONFIRMATION, 2)}, OpensFromDesktop(IDD_CHANGE_FAILED),
                 Shows(IDD_CHANGE_FAILED, IDC_FAILED_TEXT, IDS_CHANGE_FAILED), {Ends(IDD_CHANGE_FAILED, 0)}});
}

CallTexts Completion(bool loaded)
{
    return Then({OpensFromDesktop(IDD_CHANGES_COMPLETE),
                 Shows(IDD_CHANGES_COMPLETE, IDC_RESTART_TEXT, IDS_RESTART_PROMPT, loaded)});
}

std::string LooksUpShutdownPrivilege() { return "LookupPrivilegeValueA(NULL, \"SeShutdownPrivilege\")"; }

std::string AdjustsPrivileges(const std::string& token, const std::string& luid)
{
    return "AdjustTokenPrivileges(" + token + ", FALSE, {1, " + luid + " 0x2}, 0, NULL, NULL)";
}

CallTexts EnablePrivilege()
{
    return {"GetCurrentProcess()", "OpenProcessToken(CurrentProcess, 0x28)", LooksUpShutdownPrivilege(),
            AdjustsPrivileges("token1", "19:0")};
}

CallTexts DisketteNotice(bool loaded)
{
    return Then({{OpensOver(IDD_REMOVE_FLOPPIES, IDD_CHANGES_COMPLETE)},
                 Shows(IDD_REMOVE_FLOPPIES, IDC_FLOPPY_TEXT, IDS_REMOVE_DISKETTES, loaded),
                 {Ends(IDD_REMOVE_FLOPPIES, 0)}});
}

CallTexts Restart() { return {"InitiateSystemShutdownA(NULL, NULL, 0, FALSE, TRUE)"}; }

CallTexts RestartFailedNotice()
{
    return Then({{OpensOver(IDD_RESTART_FAILED, IDD_CHANGES_COMPLETE)},
                 Shows(IDD_RESTART_FAILED, IDC_RESTART_FAILED_TEXT, IDS_RESTART_FAILED),
                 {Ends(IDD_RESTART_FAILED, 0)}});
}

CallTexts EndCompletion() { return {Ends(IDD_CHANGES_COMPLETE, 0)}; }

CallTexts FromCompletionOn()
{
    return Then({Completion(), EnablePrivilege(), DisketteNotice(), Restart(), EndCompletion()});
}

}  // namespace trevask_test
