// The two hive files that stand in for HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE on POSIX: where they live, how one is read, and how it
// is rewritten so that a crash or a second writer never loses data.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/posix/reg_file.h"
#include "platform/registry.h"

namespace mossvane::platform::posix {

inline constexpr const char* kMachineHiveVariable = "MOSSVANE_MACHINE_REG";
inline constexpr std::string_view kDefaultMachineHive = "/etc/mossvane/machine.reg";
inline constexpr std::string_view kUserHiveFolder = "mossvane";
inline constexpr std::string_view kUserHiveName = "user.reg";
inline constexpr std::string_view kLockFileSuffix = ".lock";
// Far beyond any settings file; refusing more keeps a stray huge file from
// exhausting memory. Readers refuse a larger file (kFileTooLarge) and
// writers refuse to make one, so no write can leave a hive nobody reads.
inline constexpr std::size_t kMaxHiveFileSize = 64 * 1024 * 1024;

struct HiveLocation {
    std::string file;         // the .reg file; a symbolic link is followed
    std::u16string rootName;  // the root's name as sections spell it
    bool isUserHive = true;   // decides the modes of new files and folders
};

ErrorCode LocateHive(RegistryRoot root, HiveLocation& location);

// Reads and parses the hive as it is now; a missing file is an empty hive,
// a file that isn't a well-formed .reg file is kBadDatabase (what Windows
// says of a damaged hive) and one above kMaxHiveFileSize is kFileTooLarge.
ErrorCode ReadHive(const HiveLocation& location, RegFile& file);

// The hive as it is now, shared with other readers. The file is parsed again
// only when its identity (device and inode), size, modification or change
// time differ from the last parse; our own writers always replace the file
// with a new one, so each of their changes is seen. Callers only read it.
ErrorCode ReadHiveShared(const HiveLocation& location, std::shared_ptr<const RegFile>& file);

// Whether this process may rewrite the hive: the file (when it exists) and
// its folder (or the nearest folder that exists) must be writable. kSuccess,
// kIsAFolder when a folder stands where the file belongs, or the code of
// the check that failed (kAccessDenied, kPathNotFound, kFilenameTooLong...).
ErrorCode CheckHiveWritable(const HiveLocation& location);

// Rewrites the hive under its lock: reads the current file, lets `change`
// edit it and replaces the file atomically and durably when `change`
// succeeded and set `changed`. An error from `change` is returned as it is
// and nothing is written; a hive that can't be parsed is never overwritten,
// nor one this process may not write (kAccessDenied, before anything is
// touched); a result above kMaxHiveFileSize is refused (kFileTooLarge).
// Temporaries that interrupted writes of this hive left behind are removed
// once they are a minute old.
using HiveChange = std::function<ErrorCode(RegFile& file, bool& changed)>;
ErrorCode ChangeHive(const HiveLocation& location, const HiveChange& change);

}  // namespace mossvane::platform::posix
