// Temporary information files left behind by a process that ended between
// writing one and renaming it into place ("<job>.info." and six letters or
// digits).
// They are removed when the server next writes a job into their folder.
#pragma once

#include <chrono>
#include <string_view>

namespace mossvane {

// Younger temporaries may belong to a write in progress, of this process or
// of another user's server that shares the folder; a write takes a moment.
inline constexpr auto kStaleTemporaryAge = std::chrono::seconds(60);

// Whether `name` is that of an information file's temporary.
bool IsJobInfoTemporaryName(std::u16string_view name);

// Removes the stale temporaries beside the job file. A folder is looked
// through at most once per kStaleTemporaryAge, so that a busy spool does not
// read its whole folder for every job.
void RemoveStaleJobInfoTemporaries(std::u16string_view jobFilePath);

}  // namespace mossvane
