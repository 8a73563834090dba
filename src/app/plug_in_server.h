// The process from start to end: lock, command line, server, shutdown.
#pragma once

#include <string_view>

namespace mossvane {

// Runs the whole process for the given command line (without the program's
// own path). Always returns the exit code 0.
int RunPlugInServer(std::u16string_view commandLine);

}  // namespace mossvane
