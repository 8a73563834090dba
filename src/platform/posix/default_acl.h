// Whether a folder has a default ACL: new files and folders in it then take
// their rights from that ACL, as a Windows folder's inheritable entries give
// theirs, and are created with a mode that takes nothing away from it (under
// a default ACL the mode only caps the ACL's mask; no umask is applied).
#pragma once

#include <sys/stat.h>
#include <sys/xattr.h>

#include <string>

namespace mossvane::platform::posix {

inline constexpr mode_t kFolderModeUnderAcl = 0777;
inline constexpr mode_t kFileModeUnderAcl = 0666;

// A file system without ACLs has no such attribute either.
inline bool HasDefaultAcl(const std::string& folder) {
    return getxattr(folder.c_str(), "system.posix_acl_default", nullptr, 0) > 0;
}

}  // namespace mossvane::platform::posix
