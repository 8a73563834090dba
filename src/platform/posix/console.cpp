// The console on POSIX: isatty, and standard input is always binary.
#include "platform/console.h"

#include <unistd.h>

#include "platform/utf8.h"

namespace mossvane::platform {

bool IsTerminal(StandardStream stream) {
    int fd = stream == StandardStream::Input    ? STDIN_FILENO
             : stream == StandardStream::Output ? STDOUT_FILENO
                                                : STDERR_FILENO;
    return isatty(fd) == 1;
}

void SetStandardInputBinary() {}

std::vector<std::u16string> CommandLineArguments(int argc, char** argv) {
    std::vector<std::u16string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(Utf8ToUtf16(argv[i]));
    return arguments;
}

}  // namespace mossvane::platform
