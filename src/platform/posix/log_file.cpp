// Log files on POSIX: a descriptor opened with O_APPEND, so the kernel puts
// every write at the current end of the file even when other descriptors or
// processes append to it too. File names are UTF-8.
#include "platform/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

namespace mossvane::platform {

struct LogFile::Impl {
    posix::UniqueFd fd;
};

LogFile::LogFile() = default;
LogFile::~LogFile() = default;
LogFile::LogFile(LogFile&&) noexcept = default;
LogFile& LogFile::operator=(LogFile&&) noexcept = default;

ErrorCode LogFile::OpenForAppend(std::u16string_view path, LogFile& file) {
    file.Close();
    if (path.empty()) return kPathNotFound;
    if (path.find(u'\0') != std::u16string_view::npos) return kInvalidParameter;
    const std::string nativePath = Utf16ToUtf8(path);
    // Read and write for everyone the umask allows, as fopen creates files.
    // O_NONBLOCK has no effect on regular files; it only keeps a FIFO named
    // by mistake from blocking the traced call until a reader turns up.
    const int fd =
        open(nativePath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return posix::ErrorFromErrno(errno);
    file.m_impl = std::make_unique<Impl>();
    file.m_impl->fd.Reset(fd);
    return kSuccess;
}

bool LogFile::IsOpen() const {
    return m_impl && m_impl->fd.IsValid();
}

ErrorCode LogFile::Size(std::uint64_t& size) const {
    if (!IsOpen()) return kInvalidHandle;
    struct stat status {};
    if (fstat(m_impl->fd.Get(), &status) != 0) return posix::ErrorFromErrno(errno);
    size = static_cast<std::uint64_t>(status.st_size);
    return kSuccess;
}

ErrorCode LogFile::Append(std::string_view bytes) {
    if (!IsOpen()) return kInvalidHandle;
    // A short write only happens when the disk is full or a signal arrives;
    // the rest then follows in another write.
    while (!bytes.empty()) {
        const ssize_t written = write(m_impl->fd.Get(), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? posix::ErrorFromErrno(errno) : kWriteFault;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return kSuccess;
}

void LogFile::Close() {
    m_impl.reset();
}

}  // namespace mossvane::platform
