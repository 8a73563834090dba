// Hive files on disk: locating them from the environment, reading them, and
// replacing them atomically (temporary file, fsync, rename) under an flock on
// a lock file beside them, so concurrent writers serialize and a crash leaves
// either the old or the new file, never a torn one.
#include "platform/posix/reg_hive.h"

#include "platform/file_replace.h"
#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>
#include <vector>

namespace mossvane::platform::posix {
namespace {

constexpr mode_t kUserFolderMode = 0700;
constexpr mode_t kUserFileMode = 0600;
constexpr mode_t kMachineFolderMode = 0755;
constexpr mode_t kMachineFileMode = 0644;

// A temporary this old belongs to no write in progress: a write takes well
// under a second, and writers of one hive take turns under its lock.
constexpr std::chrono::seconds kStaleTemporaryAge{60};

std::string FolderOf(const std::string& file) {
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : file.substr(0, slash);
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    passwd entry{};
    passwd* result = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || !result) {
        return {};
    }
    return result->pw_dir ? result->pw_dir : "";
}

// $XDG_CONFIG_HOME, or ~/.config when it is unset or not absolute (as the
// XDG base directory rules ask).
std::string ConfigFolder() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        return config;
    }
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.config";
}

// Follows a symbolic link, so a hive kept elsewhere (a dotfiles folder) is
// updated in place instead of being replaced by a plain file.
std::string Resolved(std::string file) {
    struct stat info {};
    if (lstat(file.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return file;
    char target[PATH_MAX];
    return realpath(file.c_str(), target) ? std::string(target) : file;
}

ErrorCode MakeFolders(const std::string& folder, mode_t mode) {
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0) return kSuccess;
    const std::string parent = FolderOf(folder);
    if (parent != folder) {
        if (const ErrorCode error = MakeFolders(parent, mode); error != kSuccess) return error;
    }
    if (mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) {
        return ErrorFromErrno(errno);
    }
    return kSuccess;
}

ErrorCode ReadAll(int fd, std::string& bytes) {
    char chunk[65536];
    for (;;) {
        const ssize_t count = read(fd, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return ErrorFromErrno(errno);
        if (count == 0) return kSuccess;
        if (bytes.size() + static_cast<std::size_t>(count) > kMaxHiveFileSize) return kFileTooLarge;
        bytes.append(chunk, static_cast<std::size_t>(count));
    }
}

// An existing hive keeps its permissions; a new one is the user's alone or,
// for the machine, readable by every user.
ErrorCode ReplaceHiveFile(const HiveLocation& location, std::string_view text) {
    const std::u16string file = FileNameToUtf16(location.file);
    RemoveStaleTemporaries(file, kStaleTemporaryAge);
    return ReplaceFileDurably(
        file, text, location.isUserHive ? NewFileAccess::OwnerOnly : NewFileAccess::EveryoneReads);
}

ErrorCode LockHive(const HiveLocation& location, UniqueFd& lock) {
    const std::string lockFile = location.file + std::string(kLockFileSuffix);
    const mode_t mode = location.isUserHive ? kUserFileMode : kMachineFileMode;
    lock = UniqueFd(open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, mode));
    if (!lock.IsValid()) return ErrorFromErrno(errno);
    while (flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return ErrorFromErrno(errno);
    }
    return kSuccess;
}

// What tells one version of a hive file from another without reading it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    explicit FileIdentity(const struct stat& info)
        : device(info.st_dev),
          inode(info.st_ino),
          size(info.st_size),
          modified(info.st_mtim),
          changed(info.st_ctim) {}

    bool operator==(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

// A file changed this recently may change again within the same tick of the
// file system's clock without its times showing it, so its parse is not
// trusted until the change is this much older than the read.
constexpr std::int64_t kSettledNanoseconds = 2'000'000'000;

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::int64_t WallClockNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

// The last parse of each hive file. Every traced call reads the logging
// settings, so without it each connection would read and parse the user's
// hive several times over.
class ParsedHives {
  public:
    std::shared_ptr<const RegFile> Find(const std::string& file, const FileIdentity& identity) {
        std::lock_guard guard(m_lock);
        const auto found = m_entries.find(file);
        if (found == m_entries.end() || !(found->second.identity == identity)) return nullptr;
        const std::int64_t lastChange =
            std::max(Nanoseconds(identity.modified), Nanoseconds(identity.changed));
        if (found->second.readAt - lastChange < kSettledNanoseconds) return nullptr;
        return found->second.parsed;
    }

    // `readAt` is the wall-clock time before the file was read.
    void Keep(const std::string& file, const FileIdentity& identity, std::int64_t readAt,
              std::shared_ptr<const RegFile> parsed) {
        std::lock_guard guard(m_lock);
        m_entries.insert_or_assign(file, Entry{identity, readAt, std::move(parsed)});
    }

  private:
    struct Entry {
        FileIdentity identity;
        std::int64_t readAt = 0;
        std::shared_ptr<const RegFile> parsed;
    };
    std::mutex m_lock;
    std::map<std::string, Entry> m_entries;
};

ParsedHives& Parsed() {
    // Never destroyed: threads that are never joined may still read settings
    // while the process ends.
    static ParsedHives* hives = new ParsedHives();
    return *hives;
}

// What a missing hive reads as; never destroyed, for the same reason.
const std::shared_ptr<const RegFile>& EmptyHive() {
    static const auto* empty = new std::shared_ptr<const RegFile>(std::make_shared<RegFile>());
    return *empty;
}

ErrorCode ReadOpenHive(int fd, RegFile& file) {
    std::string bytes;
    if (const ErrorCode error = ReadAll(fd, bytes); error != kSuccess) return error;
    return ParseRegFile(bytes, file) ? kSuccess : kBadDatabase;
}

}  // namespace

ErrorCode LocateHive(RegistryRoot root, HiveLocation& location) {
    if (root == RegistryRoot::LocalMachine) {
        const char* file = std::getenv(kMachineHiveVariable);
        location = {Resolved(file && *file ? file : std::string(kDefaultMachineHive)),
                    std::u16string(kLocalMachineRootName), false};
        return kSuccess;
    }
    const std::string config = ConfigFolder();
    if (config.empty()) return kPathNotFound;
    location = {
        Resolved(config + "/" + std::string(kUserHiveFolder) + "/" + std::string(kUserHiveName)),
        std::u16string(kCurrentUserRootName), true};
    return kSuccess;
}

ErrorCode ReadHive(const HiveLocation& location, RegFile& file) {
    file.sections.clear();
    UniqueFd fd(open(location.file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsValid()) {
        if (errno == ENOENT || errno == ENOTDIR) return kSuccess;
        return ErrorFromErrno(errno);
    }
    return ReadOpenHive(fd.Get(), file);
}

ErrorCode ReadHiveShared(const HiveLocation& location, std::shared_ptr<const RegFile>& file) {
    struct stat info {};
    if (stat(location.file.c_str(), &info) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) return ErrorFromErrno(errno);
        file = EmptyHive();
        return kSuccess;
    }
    if ((file = Parsed().Find(location.file, FileIdentity(info)))) return kSuccess;
    // The identity kept is that of the file actually read, which may be newer
    // than the one just looked at.
    const std::int64_t readAt = WallClockNow();
    UniqueFd fd(open(location.file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsValid()) {
        if (errno != ENOENT && errno != ENOTDIR) return ErrorFromErrno(errno);
        file = EmptyHive();
        return kSuccess;
    }
    if (fstat(fd.Get(), &info) != 0) return ErrorFromErrno(errno);
    auto parsed = std::make_shared<RegFile>();
    if (const ErrorCode error = ReadOpenHive(fd.Get(), *parsed); error != kSuccess) return error;
    Parsed().Keep(location.file, FileIdentity(info), readAt, parsed);
    file = std::move(parsed);
    return kSuccess;
}

ErrorCode CheckHiveWritable(const HiveLocation& location) {
    struct stat info {};
    if (stat(location.file.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return kIsAFolder;
        // The rename needs only the folder, but a hive its owner made
        // read-only is not to be rewritten behind his back.
        if (faccessat(AT_FDCWD, location.file.c_str(), W_OK, AT_EACCESS) != 0) {
            return ErrorFromErrno(errno);
        }
    } else if (errno != ENOENT) {
        return ErrorFromErrno(errno);
    }
    std::string folder = FolderOf(location.file);
    while (faccessat(AT_FDCWD, folder.c_str(), F_OK, AT_EACCESS) != 0 && errno == ENOENT &&
           folder != "/" && folder != ".") {
        folder = FolderOf(folder);
    }
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        return ErrorFromErrno(errno);
    }
    return kSuccess;
}

ErrorCode ChangeHive(const HiveLocation& location, const HiveChange& change) {
    // Checked before anything is created, so a refused write changes nothing.
    if (const ErrorCode error = CheckHiveWritable(location); error != kSuccess) return error;
    const mode_t folderMode = location.isUserHive ? kUserFolderMode : kMachineFolderMode;
    if (const ErrorCode error = MakeFolders(FolderOf(location.file), folderMode);
        error != kSuccess) {
        return error;
    }
    UniqueFd lock;
    if (const ErrorCode error = LockHive(location, lock); error != kSuccess) return error;
    RegFile file;
    if (const ErrorCode error = ReadHive(location, file); error != kSuccess) return error;
    bool changed = false;
    if (const ErrorCode error = change(file, changed); error != kSuccess || !changed) {
        return error;
    }
    std::string text;
    if (!FormatRegFile(file, text)) return kInvalidData;
    // Every later read would refuse a larger file, and with it the whole hive.
    if (text.size() > kMaxHiveFileSize) return kFileTooLarge;
    return ReplaceHiveFile(location, text);
}

}  // namespace mossvane::platform::posix
