// Replacing a whole file so that a crash, a power cut or a full disk never
// leaves a torn or short file behind: the one way the program puts a settings
// hive or a job's information file in place.
#pragma once

#include <chrono>
#include <string_view>

#include "platform/error.h"

namespace mossvane::platform {

// Who may read a file that did not exist before (POSIX modes; on Windows the
// file takes the folder's default security either way).
enum class NewFileAccess {
    OwnerOnly,      // 0600
    EveryoneReads,  // 0644
};

// Writes `contents` to a new temporary file in the folder of `path`, forces
// it to stable storage, closes it (some file systems report a failed write
// only then), and renames it over `path` in one step, made durable as well
// (the folder is synced on POSIX; the move is written through on Windows).
// A reader sees the old file or the whole new one, never a part. A file
// already at `path` passes its permission bits on (POSIX); a new one gets
// `access`. On failure `path` is unchanged and no temporary file is left.
// The temporary's name is `path`, a dot and six letters or digits. An empty
// path, or one holding a null character, is refused as by CheckFilePath.
ErrorCode ReplaceFileDurably(std::u16string_view path, std::string_view contents,
                             NewFileAccess access);

// Puts a new file at `path` the way ReplaceFileDurably does, but never in
// place of anything: kAlreadyExists, and nothing written, when a file, a
// folder or a link (even a dangling one) stands at `path` by the time the
// file is put there. Nothing already there passes its permissions on:
// `access` decides (POSIX), or the folder's default ACL where it has one.
// For files that others may try to take over by naming them first, in a
// folder they can write to.
ErrorCode PublishFileDurably(std::u16string_view path, std::string_view contents,
                             NewFileAccess access);

// Removes the temporaries of ReplaceFileDurably for `path` that are older
// than `minimumAge`: a process that ended between creating one and renaming
// it (killed, or the machine lost power) leaves it behind. Younger ones may
// belong to a replacement still under way and are kept.
void RemoveStaleTemporaries(std::u16string_view path, std::chrono::seconds minimumAge);

namespace backend {
// Each backend's part of ReplaceFileDurably, called with a checked path.
ErrorCode ReplaceFileDurably(std::u16string_view path, std::string_view contents,
                             NewFileAccess access);
ErrorCode PublishFileDurably(std::u16string_view path, std::string_view contents,
                             NewFileAccess access);
}  // namespace backend

}  // namespace mossvane::platform
