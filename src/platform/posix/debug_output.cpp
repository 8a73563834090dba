// Debugger output on POSIX: standard error, one write per text, so texts from
// several threads never mix; a line feed is added when the text has none.
#include "platform/debug_output.h"

#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

namespace mossvane::platform {

namespace {

// Output nobody can take (a closed or vanished reader, a full disk) is
// dropped: diagnostics must never stop the program.
void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

}  // namespace

void OutputDebugText(std::u16string_view text) {
    std::string line = Utf16ToUtf8(text);
    if (line.empty() || line.back() != '\n') line += '\n';
    WriteAll(STDERR_FILENO, line);
}

void WriteStandardOutput(std::string_view text) {
    WriteAll(STDOUT_FILENO, text);
}

}  // namespace mossvane::platform
