// The program's calls as the simulated Windows logs them, in named pieces.
// Every test that spells a sequence of calls builds it from these, so that a
// change to the order in which the program calls the platform is made here once.
// Functions, not globals: the tables of cases that use them are globals too.
#ifndef TREVASK_CALL_LOG_H
#define TREVASK_CALL_LOG_H

#include <initializer_list>
#include <string>
#include <vector>

namespace trevask_test {

using CallTexts = std::vector<std::string>;

// The pieces, one after the other.
CallTexts Then(std::initializer_list<CallTexts> pieces);

// Screens, by template number; a key, a token or a dialog by the name the log gives it.
CallTexts OpensFromDesktop(int templateId);  // GetDesktopWindow, then the screen over it
std::string OpensOver(int templateId, int ownerTemplateId);
std::string Ends(int templateId, int endCode);
std::string LoadsMessage(int message);
// A screen fills its text control from the message table; when the message
// cannot be loaded, it shows the empty text the failed load leaves.
CallTexts Shows(int templateId, int control, int message, bool loaded = true);

// The driver's key and its value; keys by the number of their handle (hkey1 is the first opened).
std::string OpensDriverKey();
std::string CreatesDriverKey();
CallTexts ReadsValue(int key);  // the query into the shared buffer, and the key closed
std::string WritesValue(int key, const std::string& text);
std::string ClosesKey(int key);

// Start-up: the named mutex and whether another copy holds it.
CallTexts SingleInstanceCheck();
// Start-up, the platform gate and the confirmation screen.
CallTexts Startup();

// "Continue" with the parameter absent: the key is created and written.
CallTexts WriteAndContinue(int key);
CallTexts ChangeFailedNotice();
CallTexts Completion(bool loaded = true);

std::string LooksUpShutdownPrivilege();
// The one-entry record the program builds: the identifier the lookup gave, enabled.
std::string AdjustsPrivileges(const std::string& token, const std::string& luid);
CallTexts EnablePrivilege();
CallTexts DisketteNotice(bool loaded = true);
CallTexts Restart();
CallTexts RestartFailedNotice();
CallTexts EndCompletion();
// The completion screen, "Restart System", and a restart the system accepts.
CallTexts FromCompletionOn();

}  // namespace trevask_test

#endif
