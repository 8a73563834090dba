// Whole-file reads on POSIX: open, then read until the end, so a file that
// grows or shrinks while it is read gives what was there, never garbage.
// File names are UTF-8.
#include "platform/file_contents.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

namespace mossvane::platform {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

ErrorCode ReadToEnd(int fd, std::vector<std::uint8_t>& contents) {
    for (;;) {
        const std::size_t used = contents.size();
        contents.resize(used + kReadChunk);
        const ssize_t got = read(fd, contents.data() + used, kReadChunk);
        if (got < 0 && errno == EINTR) {
            contents.resize(used);
            continue;
        }
        if (got < 0) return posix::ErrorFromErrno(errno);
        contents.resize(used + static_cast<std::size_t>(got));
        if (got == 0) return kSuccess;
    }
}

}  // namespace

ErrorCode ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& contents) {
    contents.clear();
    if (path.empty()) return kPathNotFound;
    if (path.find(u'\0') != std::u16string_view::npos) return kInvalidParameter;
    const std::string nativePath = Utf16ToUtf8(path);
    // O_NONBLOCK keeps a FIFO named by mistake from blocking the verb forever.
    posix::UniqueFd fd(open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.IsValid()) return posix::ErrorFromErrno(errno);
    const ErrorCode error = ReadToEnd(fd.Get(), contents);
    if (error != kSuccess) contents.clear();
    return error;
}

}  // namespace mossvane::platform
