// Whole-file reads on POSIX: open, then read until the end, so a file that
// grows or shrinks while it is read gives what was there, never garbage.
// File names are bytes (see Utf16ToFileName).
#include "platform/file_contents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

namespace mossvane::platform::backend {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

// Reads one byte more than allowed at most, which tells a file of exactly
// `maxSize` bytes from a longer one.
ErrorCode ReadToEnd(int fd, std::size_t maxSize, std::vector<std::uint8_t>& contents) {
    for (;;) {
        const std::size_t used = contents.size();
        const std::size_t room = std::min(kReadChunk, maxSize + 1 - used);
        contents.resize(used + room);
        const ssize_t got = read(fd, contents.data() + used, room);
        if (got < 0 && errno == EINTR) {
            contents.resize(used);
            continue;
        }
        if (got < 0) return posix::ErrorFromErrno(errno);
        contents.resize(used + static_cast<std::size_t>(got));
        if (contents.size() > maxSize) return kFileTooLarge;
        if (got == 0) return kSuccess;
    }
}

}  // namespace

ErrorCode ReadWholeFile(std::u16string_view path, std::size_t maxSize,
                        std::vector<std::uint8_t>& contents) {
    const std::string nativePath = Utf16ToFileName(path);
    // O_NONBLOCK keeps a FIFO named by mistake from blocking the verb forever.
    posix::UniqueFd fd(open(nativePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.IsValid()) return posix::ErrorFromErrno(errno);
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0) return posix::ErrorFromErrno(errno);
    if (S_ISDIR(info.st_mode)) return kIsAFolder;
    if (S_ISREG(info.st_mode)) {
        if (static_cast<std::uintmax_t>(info.st_size) > maxSize) return kFileTooLarge;
        contents.reserve(static_cast<std::size_t>(info.st_size) + 1);
    }
    return ReadToEnd(fd.Get(), maxSize, contents);
}

}  // namespace mossvane::platform::backend
