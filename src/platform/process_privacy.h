// Keeps what a process holds in memory (the identification number, for one)
// away from other processes of the user and out of core files.
#pragma once

namespace mossvane::platform {

// Marks the calling process as one that holds secrets, as agents that keep
// passwords do: other processes of the same user may no longer attach to it
// or read its memory, and it writes no core file when it crashes. On Linux
// that is PR_SET_DUMPABLE 0; on Windows a process of the user can be read by
// the user's other processes whatever it does, so nothing is done there.
// False when the system refused.
bool KeepMemoryPrivate();

}  // namespace mossvane::platform
