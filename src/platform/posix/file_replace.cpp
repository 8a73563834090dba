// Atomic, durable file replacement on POSIX: mkostemp beside the target,
// write, fsync, close, rename, then fsync of the folder so the rename itself
// survives a power cut.
#include "platform/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <memory>
#include <string>

#include "platform/posix/default_acl.h"
#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

namespace mossvane::platform {

using posix::ErrorFromErrno;
using posix::UniqueFd;

namespace {

constexpr char kTemporaryPattern[] = ".XXXXXX";
constexpr std::size_t kTemporarySuffixLength = 6;

struct SplitPath {
    std::string folder;
    std::string leaf;
};

SplitPath Split(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// The temporary is made 0600 and then given the mode the file is to have:
// an existing file's, else `access`, unless the folder has a default ACL,
// which then decides alone (the chmod resets the ACL's mask from the mode).
mode_t ModeFor(const std::string& target, NewFileAccess access) {
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
    if (posix::HasDefaultAcl(Split(target).folder)) return posix::kFileModeUnderAcl;
    return access == NewFileAccess::OwnerOnly ? 0600 : 0644;
}

ErrorCode FillTemporary(int fd, mode_t mode, std::string_view contents) {
    if (fchmod(fd, mode) != 0) return ErrorFromErrno(errno);
    if (const ErrorCode error = posix::WriteAll(fd, contents.data(), contents.size());
        error != kSuccess) {
        return error;
    }
    return fsync(fd) == 0 ? kSuccess : ErrorFromErrno(errno);
}

// The rename is already visible; without this a power cut could still undo
// it. File systems that can't sync a folder have nothing to lose here.
void SyncFolder(const std::string& folder) {
    UniqueFd folderFd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.IsValid()) fsync(folderFd.Get());
}

bool IsTemporaryOf(std::string_view name, std::string_view leaf) {
    if (name.size() != leaf.size() + 1 + kTemporarySuffixLength) return false;
    if (!name.starts_with(leaf) || name[leaf.size()] != '.') return false;
    for (const char c : name.substr(leaf.size() + 1)) {
        const bool alphanumeric =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alphanumeric) return false;
    }
    return true;
}

}  // namespace

ErrorCode backend::ReplaceFileDurably(std::u16string_view path, std::string_view contents,
                                      NewFileAccess access) {
    const std::string target = Utf16ToFileName(path);
    std::string temporary = target + kTemporaryPattern;
    UniqueFd fd(mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.IsValid()) return ErrorFromErrno(errno);
    ErrorCode error = FillTemporary(fd.Get(), ModeFor(target, access), contents);
    if (close(fd.Release()) != 0 && error == kSuccess) error = ErrorFromErrno(errno);
    if (error == kSuccess && rename(temporary.c_str(), target.c_str()) != 0) {
        error = ErrorFromErrno(errno);
    }
    if (error != kSuccess) {
        unlink(temporary.c_str());
        return error;
    }
    SyncFolder(Split(target).folder);
    return kSuccess;
}

void RemoveStaleTemporaries(std::u16string_view path, std::chrono::seconds minimumAge) {
    const SplitPath split = Split(Utf16ToFileName(path));
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(split.folder.c_str()), closedir);
    if (!folder) return;
    const std::time_t newest = std::time(nullptr) - minimumAge.count();
    while (const dirent* entry = readdir(folder.get())) {
        if (!IsTemporaryOf(entry->d_name, split.leaf)) continue;
        struct stat info {};
        if (fstatat(dirfd(folder.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(info.st_mode) && info.st_mtime < newest) {
            unlinkat(dirfd(folder.get()), entry->d_name, 0);
        }
    }
}

}  // namespace mossvane::platform
