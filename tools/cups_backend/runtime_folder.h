// The folder that holds the job user's socket. Whoever may write into it
// may put a socket of their own under the user's socket name, so it must be
// the user's own and closed to others before the backend trusts what
// answers there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mossvane::cups {

// The variable's value when set, else /run/user; false with a message when
// the value is not an absolute path (a relative one would depend on the
// folder CUPS happens to run the backend in).
bool ChooseRuntimeRoot(const char* runtimeRootVariable, std::string& root, std::string& error);

// What the backend knows about the folder, from lstat.
struct FolderFacts {
    bool exists = false;
    bool isDirectory = false;  // Not a symbolic link, not a file.
    std::uint32_t ownerUid = 0;
    std::uint32_t mode = 0;  // Permission bits.
};

enum class FolderVerdict {
    Usable,
    Missing,       // The user is not logged in (yet); a later try may find it.
    NotDirectory,  // A file or a symbolic link stands there.
    NotTheUsers,   // Owned by someone else.
    OpenToOthers,  // Group or others may write into it.
};

FolderVerdict JudgeRuntimeFolder(const FolderFacts& facts, std::uint32_t uid);

// lstat of the folder.
FolderFacts InspectFolder(const std::string& path);

// A sentence for CUPS saying why the folder is refused.
std::string DescribeFolderVerdict(FolderVerdict verdict, std::string_view path,
                                  std::string_view userName);

}  // namespace mossvane::cups
