#include "app/command_line.h"

#include "app/call_server.h"
#include "app/command_scan.h"
#include "app/companion_dialog.h"
#include "app/install_settings.h"
#include "params/param_map.h"
#include "params/param_text.h"
#include "platform/debug_output.h"
#include "wire/pipe_name.h"

namespace mossvane {

namespace {

constexpr std::u16string_view kVerbIntroducers = u"/";
constexpr std::u16string_view kArgumentSeparators = u" ";

constexpr std::u16string_view kOpenVerb = u"Open";
constexpr std::u16string_view kInstallVerbs[] = {u"i", u"install"};
constexpr std::u16string_view kUninstallVerbs[] = {u"u", u"uninstall"};
constexpr std::u16string_view kExitVerb = u"Exit";

constexpr char16_t kOpenRequest[] = u"OpenUI";
constexpr char16_t kExitRequest[] = u"Exit";

template <std::size_t N>
bool WordIsOneOf(const char16_t* word, const std::u16string_view (&keywords)[N]) {
    for (std::u16string_view keyword : keywords) {
        if (WordEquals(word, keyword)) return true;
    }
    return false;
}

// The reply and the result are of no interest: the verb only waits for the
// exchange to end.
void SendRequest(CommandVerbActions& actions, std::u16string_view pipeName,
                 const char16_t* command) {
    ParamMap request;
    SetCommand(request, command);
    const std::u16string text = FormatParamText(request);
    platform::OutputDebugText(u"call before");
    std::u16string reply;
    actions.CallServer(pipeName, reply, text);
    platform::OutputDebugText(u"call after");
}

// Carries out the companion-or-request step of Open and Exit.
void ReachRunningServer(CommandVerbActions& actions, std::u16string_view pipeName,
                        const char16_t* command) {
    if (actions.BringAccessControlToFront()) return;
    SendRequest(actions, pipeName, command);
}

class SystemActions : public CommandVerbActions {
  public:
    bool BringAccessControlToFront() override { return mossvane::BringAccessControlToFront(); }
    int CallServer(std::u16string_view pipeName, std::u16string& reply,
                   std::u16string_view requestText) override {
        return mossvane::CallServer(pipeName, reply, requestText);
    }
    void InstallDefaults(std::u16string_view argument) override {
        mossvane::InstallDefaults(argument);
    }
    void RemoveUserSettings() override { mossvane::RemoveUserSettings(); }
};

}  // namespace

int HandleCommandLine(int alreadyRunning, std::u16string_view commandLine,
                      CommandVerbActions& actions) {
    // The scan steps through a terminated copy: a word ends at the null.
    const std::u16string text(commandLine);
    const char16_t* p = FindOneOf(text.c_str(), kVerbIntroducers);
    // A second process of the user without any verb ends at once, without a
    // server and without touching the pipe.
    if (alreadyRunning == 1 && p == nullptr) return 1;
    const std::u16string pipeName = UserPipeName();
    int result = 0;
    while (p != nullptr) {
        const char16_t* scanFrom = p;
        if (WordEquals(p, kOpenVerb)) {
            platform::OutputDebugText(u"open");
            // In the first process Open changes nothing: it becomes the server.
            if (alreadyRunning != 0) {
                ReachRunningServer(actions, pipeName, kOpenRequest);
                result = 1;
            }
        } else if (WordIsOneOf(p, kInstallVerbs)) {
            platform::OutputDebugText(u"install");
            const char16_t* argument = FindOneOf(p, kArgumentSeparators);
            result = 1;
            // Without an argument the rest of the command line is not read.
            if (argument == nullptr) break;
            actions.InstallDefaults(argument);
            scanFrom = argument;
        } else if (WordIsOneOf(p, kUninstallVerbs)) {
            platform::OutputDebugText(u"uninstall");
            actions.RemoveUserSettings();
            result = 1;
        } else if (WordEquals(p, kExitVerb)) {
            platform::OutputDebugText(u"Exit");
            if (alreadyRunning == 1) ReachRunningServer(actions, pipeName, kExitRequest);
            result = 1;
        }
        p = FindOneOf(scanFrom, kVerbIntroducers);
    }
    return result;
}

int HandleCommandLine(int alreadyRunning, std::u16string_view commandLine) {
    SystemActions actions;
    return HandleCommandLine(alreadyRunning, commandLine, actions);
}

}  // namespace mossvane
