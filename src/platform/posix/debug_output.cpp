// Debugger output on POSIX: standard error, one write per text, so texts from
// several threads never mix; a line feed is added when the text has none.
#include "platform/debug_output.h"

#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

namespace mossvane::platform {

// Output nobody can take (a closed or vanished reader, a full disk) is
// dropped: diagnostics must never stop the program.
void OutputDebugText(std::u16string_view text) {
    std::string line = Utf16ToUtf8(text);
    if (line.empty() || line.back() != '\n') line += '\n';
    posix::WriteAll(STDERR_FILENO, line.data(), line.size());
}

void WriteStandardOutput(std::string_view text) {
    posix::WriteAll(STDOUT_FILENO, text.data(), text.size());
}

}  // namespace mossvane::platform
