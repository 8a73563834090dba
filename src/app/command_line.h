// The command verbs: decides whether the process handles its command line
// itself or becomes the pipe server.
#pragma once

#include <string_view>

namespace mossvane {

// Returns 0 when no verb was handled (the process is to run the server) and
// a nonzero value when the command line was handled (the process ends).
int HandleCommandLine(int alreadyRunning, std::u16string_view commandLine);

}  // namespace mossvane
