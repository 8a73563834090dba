// POSIX backend support: the errno table, text conversion and the runtime
// folder that holds the pipe socket and the instance lock file.
#include "platform/posix/posix_util.h"

#include "platform/utf8.h"

#include <errno.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace mossvane::platform::posix {

ErrorCode ErrorFromErrno(int errnoValue) {
    switch (errnoValue) {
        case 0:
            return kSuccess;
        case ENOENT:
        case ECONNREFUSED:
            return kFileNotFound;
        case ENOTDIR:
        case ELOOP:
            return kPathNotFound;
        case ENAMETOOLONG:
            return kFilenameTooLong;
        case EISDIR:
            return kIsAFolder;
        case EFBIG:
            return kFileTooLarge;
        case ENOSPC:
        case EDQUOT:
            return kWriteFault;
        case EACCES:
        case EPERM:
        case EROFS:
            return kAccessDenied;
        case EBADF:
            return kInvalidHandle;
        case ENOMEM:
            return kNotEnoughMemory;
        case EINVAL:
            return kInvalidParameter;
        case EPIPE:
            return kNoData;
        case ECONNRESET:
            return kConnectionReset;
        case EEXIST:
        case EADDRINUSE:
            return kAlreadyExists;
        case EAGAIN:
            return kPipeBusy;
        case ETIMEDOUT:
            return kSemTimeout;
        default:
            return kReadFault;
    }
}

namespace {

constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;
constexpr mode_t kFallbackFolderMode = 0700;

// The folder given by the session, which may be reached through a link: what
// counts is the folder itself.
ErrorCode CheckSessionFolder(const std::string& folder) {
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) return ErrorFromErrno(errno);
    const bool ours = S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
                      (info.st_mode & kWritableByOthers) == 0;
    return ours ? kSuccess : kUntrustedServer;
}

// Anyone may make a folder of this name in /tmp first to catch our socket:
// only a folder of our own that nobody else can enter will do.
ErrorCode CheckFallbackFolder(const std::string& folder, RuntimeUse use) {
    if (use == RuntimeUse::Serve) {
        // The mask of the process must not narrow the mode the check expects.
        if (mkdir(folder.c_str(), kFallbackFolderMode) == 0) {
            chmod(folder.c_str(), kFallbackFolderMode);
        } else if (errno != EEXIST) {
            return ErrorFromErrno(errno);
        }
    }
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0) return ErrorFromErrno(errno);
    const bool ours = S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
                      (info.st_mode & 0777) == kFallbackFolderMode;
    return ours ? kSuccess : kUntrustedServer;
}

}  // namespace

ErrorCode RuntimeFolder(RuntimeUse use, std::string& folder) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        folder = runtime;
        return CheckSessionFolder(folder);
    }
    folder = "/tmp/mossvane-" + std::to_string(geteuid());
    return CheckFallbackFolder(folder, use);
}

ErrorCode RuntimeObjectPath(std::u16string_view windowsName, std::string_view suffix,
                            std::string& path, RuntimeUse use) {
    std::string folder;
    if (ErrorCode error = RuntimeFolder(use, folder); error != kSuccess) return error;
    std::size_t slash = windowsName.find_last_of(u'\\');
    std::u16string_view leaf =
        slash == std::u16string_view::npos ? windowsName : windowsName.substr(slash + 1);
    std::string name = Utf16ToUtf8(leaf);
    // A user name may hold characters that a file name can't.
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    path = folder + "/" + name + std::string(suffix);
    return kSuccess;
}

void UniqueFd::Reset(int fd) {
    if (m_fd >= 0) {
        int cancelState = 0;
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelState);
        close(m_fd);
        pthread_setcancelstate(cancelState, nullptr);
    }
    m_fd = fd;
}

ErrorCode WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? ErrorFromErrno(errno) : kWriteFault;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return kSuccess;
}

}  // namespace mossvane::platform::posix
