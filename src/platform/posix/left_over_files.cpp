// Left-over files on POSIX: the folder is read with readdir, and each entry's
// age is its modification time against the wall clock.
#include "platform/left_over_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <memory>
#include <string>

#include "platform/utf8.h"

namespace mossvane::platform {

namespace {

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

bool IsOldPlainFile(int folderFd, const char* name, std::chrono::seconds minimumAge) {
    struct stat info {};
    if (fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISREG(info.st_mode)) return false;
    return std::time(nullptr) - info.st_mtime >= minimumAge.count();
}

}  // namespace

std::size_t RemoveLeftOverFiles(std::u16string_view folder,
                                const std::function<bool(std::u16string_view name)>& isLeftOver,
                                std::chrono::seconds minimumAge) {
    const std::string path = Utf16ToUtf8(folder);
    std::unique_ptr<DIR, DirectoryCloser> directory(opendir(path.c_str()));
    if (!directory) return 0;
    const int folderFd = dirfd(directory.get());
    std::size_t removed = 0;
    while (const dirent* entry = readdir(directory.get())) {
        if (!isLeftOver(Utf8ToUtf16(entry->d_name))) continue;
        if (!IsOldPlainFile(folderFd, entry->d_name, minimumAge)) continue;
        if (unlinkat(folderFd, entry->d_name, 0) == 0) ++removed;
    }
    return removed;
}

}  // namespace mossvane::platform
