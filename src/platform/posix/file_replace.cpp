// Atomic, durable file replacement on POSIX: mkostemp beside the target,
// write, fsync, close, rename (renameat2 with RENAME_NOREPLACE, or link, to
// publish a new file), then fsync of the folder so the rename itself survives
// a power cut.
#include "platform/file_replace.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
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

// The mode of a file made anew: `access`, unless the folder has a default
// ACL, which then decides alone (the chmod resets the ACL's mask from the
// mode).
mode_t NewFileMode(const std::string& target, NewFileAccess access) {
    if (posix::HasDefaultAcl(Split(target).folder)) return posix::kFileModeUnderAcl;
    return access == NewFileAccess::OwnerOnly ? 0600 : 0644;
}

// The temporary is made 0600 and then given the mode the file is to have: a
// replaced file keeps its own, so an administrator's choice survives.
mode_t ReplacementMode(const std::string& target, NewFileAccess access) {
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
    return NewFileMode(target, access);
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

// Puts the temporary at the target's name without replacing anything. A
// file system without RENAME_NOREPLACE still refuses to link over a name.
ErrorCode RenameWithoutReplacing(const std::string& temporary, const std::string& target) {
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return kSuccess;
    }
    if (errno != EINVAL && errno != ENOSYS) return ErrorFromErrno(errno);
    if (link(temporary.c_str(), target.c_str()) != 0) return ErrorFromErrno(errno);
    unlink(temporary.c_str());
    return kSuccess;
}

// Writes the temporary with `mode`, then moves it to the target by `move`.
template <typename Move>
ErrorCode WriteThenMove(const std::string& target, mode_t mode, std::string_view contents,
                        Move move) {
    std::string temporary = target + kTemporaryPattern;
    UniqueFd fd(mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.IsValid()) return ErrorFromErrno(errno);
    ErrorCode error = FillTemporary(fd.Get(), mode, contents);
    if (close(fd.Release()) != 0 && error == kSuccess) error = ErrorFromErrno(errno);
    if (error == kSuccess) error = move(temporary, target);
    if (error != kSuccess) {
        unlink(temporary.c_str());
        return error;
    }
    SyncFolder(Split(target).folder);
    return kSuccess;
}

}  // namespace

ErrorCode backend::ReplaceFileDurably(std::u16string_view path, std::string_view contents,
                                      NewFileAccess access) {
    const std::string target = Utf16ToFileName(path);
    return WriteThenMove(
        target, ReplacementMode(target, access), contents,
        [](const std::string& temporary, const std::string& to) {
            return rename(temporary.c_str(), to.c_str()) == 0 ? kSuccess : ErrorFromErrno(errno);
        });
}

ErrorCode backend::PublishFileDurably(std::u16string_view path, std::string_view contents,
                                      NewFileAccess access) {
    const std::string target = Utf16ToFileName(path);
    return WriteThenMove(target, NewFileMode(target, access), contents, RenameWithoutReplacing);
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
