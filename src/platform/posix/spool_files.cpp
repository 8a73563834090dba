// Stands in for the Windows files of the job spool: the roaming application
// data folder is $XDG_DATA_HOME, job files are created with O_EXCL (the
// counterpart of CREATE_NEW), and the information file is renamed into place
// without replacing anything (the counterpart of a move without
// MOVEFILE_REPLACE_EXISTING).
// Everything the server creates here is the user's alone, unless the folder
// it goes into has a default ACL: then, as a Windows folder's inheritable
// entries do, that ACL decides who else may read it.
#include "platform/spool_files.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file_replace.h"
#include "platform/posix/default_acl.h"
#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

namespace mossvane::platform {

using posix::ErrorFromErrno;
using posix::HasDefaultAcl;
using posix::kFileModeUnderAcl;
using posix::kFolderModeUnderAcl;
using posix::UniqueFd;
using posix::WriteAll;

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

std::string ParentFolder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t FileModeFor(const std::string& path) {
    return HasDefaultAcl(ParentFolder(path)) ? kFileModeUnderAcl : kFileMode;
}

mode_t FolderModeFor(const std::string& path) {
    return HasDefaultAcl(ParentFolder(path)) ? kFolderModeUnderAcl : kFolderMode;
}

// The home folder: $HOME, else the password database's entry.
std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir) {
        return {};
    }
    return found->pw_dir;
}

// Creates the missing folders of an absolute path, as Windows creates the
// application data folder on demand.
bool EnsureFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), FolderModeFor(part)) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

}  // namespace

char16_t PathSeparator() {
    return u'/';
}

ErrorCode GetUserDataFolder(std::u16string& folder) {
    folder.clear();
    // A relative XDG_DATA_HOME is invalid and ignored, as the base directory
    // rules ask.
    std::string path;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
        path = data;
    } else {
        const std::string home = HomeFolder();
        if (home.empty()) return kPathNotFound;
        path = home + "/.local/share";
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (!EnsureFolders(path)) return kPathNotFound;
    folder = FileNameToUtf16(path);
    return kSuccess;
}

ErrorCode backend::CreateFolder(std::u16string_view path) {
    const std::string native = Utf16ToFileName(path);
    if (mkdir(native.c_str(), FolderModeFor(native)) == 0) return kSuccess;
    // A missing parent is "path not found", as CreateDirectoryW says it.
    if (errno == ENOENT) return kPathNotFound;
    return ErrorFromErrno(errno);
}

struct JobFile::Impl {
    UniqueFd fd;
};

JobFile::JobFile() = default;
JobFile::~JobFile() = default;
JobFile::JobFile(JobFile&& other) noexcept = default;
JobFile& JobFile::operator=(JobFile&& other) noexcept = default;

ErrorCode JobFile::BackendCreateNew(std::u16string_view path, JobFile& file) {
    const std::string native = Utf16ToFileName(path);
    // O_APPEND makes each write land at the end of the file in the same call
    // that writes it.
    UniqueFd fd(open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC,
                     FileModeFor(native)));
    if (!fd.IsValid()) return ErrorFromErrno(errno);
    file.m_impl = std::make_unique<Impl>();
    file.m_impl->fd = std::move(fd);
    return kSuccess;
}

bool JobFile::IsValid() const {
    return m_impl && m_impl->fd.IsValid();
}

void JobFile::Close() {
    m_impl.reset();
}

ErrorCode JobFile::BackendAppendAtEnd(const void* data, std::size_t size) {
    return WriteAll(m_impl->fd.Get(), data, size);
}

ErrorCode JobFile::BackendFlushAndClose() {
    UniqueFd fd = std::move(m_impl->fd);
    m_impl.reset();
    ErrorCode error = fsync(fd.Get()) == 0 ? kSuccess : ErrorFromErrno(errno);
    // Writes into a file without a name succeed and vanish with it.
    struct stat info {};
    if (error == kSuccess && fstat(fd.Get(), &info) == 0 && info.st_nlink == 0) {
        error = kFileNotFound;
    }
    // Some file systems (network ones) report a failed write only here.
    if (close(fd.Release()) != 0 && error == kSuccess) error = ErrorFromErrno(errno);
    return error;
}

ErrorCode backend::PublishTextFile(std::u16string_view path, std::string_view text) {
    return platform::PublishFileDurably(path, text, NewFileAccess::OwnerOnly);
}

ErrorCode backend::CheckNameIsFree(std::u16string_view path) {
    struct stat info {};
    if (lstat(Utf16ToFileName(path).c_str(), &info) == 0) return kAlreadyExists;
    return errno == ENOENT ? kSuccess : ErrorFromErrno(errno);
}

}  // namespace mossvane::platform
