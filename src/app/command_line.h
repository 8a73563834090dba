// The command verbs: decides whether the process handles its command line
// itself (as a client of the running server or as an installer) or becomes
// the pipe server.
#pragma once

#include <string>
#include <string_view>

namespace mossvane {

// What the verbs do beyond reading the command line, so the reading can be
// checked on its own.
class CommandVerbActions {
  public:
    virtual ~CommandVerbActions() = default;
    virtual bool BringAccessControlToFront() = 0;
    virtual int CallServer(std::u16string_view pipeName, std::u16string& reply,
                           std::u16string_view requestText) = 0;
    virtual void InstallDefaults(std::u16string_view argument) = 0;
    virtual void RemoveUserSettings() = 0;
};

// Returns 0 when no verb was handled (the process is to run the server) and
// a nonzero value when the command line was handled (the process ends).
// alreadyRunning is 1 when another process of the user holds the instance
// lock; commandLine comes without the program's own path.
int HandleCommandLine(int alreadyRunning, std::u16string_view commandLine,
                      CommandVerbActions& actions);

// The same with the real actions: the companion dialog, the user's pipe and
// the settings store.
int HandleCommandLine(int alreadyRunning, std::u16string_view commandLine);

}  // namespace mossvane
