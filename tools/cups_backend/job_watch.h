// The deadline for the whole job, kept by a process its owner can't touch.
// The part of the backend that talks to the user's server runs as that user
// (so the user's server sees its own user, and nothing it answers reaches a
// process with root's rights), which lets the user stop it (SIGSTOP) or
// feed it just fast enough for every single wait. So the backend forks: the
// child becomes the user and does the job; the parent stays root, touches
// none of the user's data, and ends the child when the job's deadline
// passes. The parent reports the outcome to CUPS itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace mossvane::cups {

struct WatchedEnd {
    enum class Kind {
        Exited,          // code: the child's exit status, the job's backend status.
        Signalled,       // code: the signal that ended the child.
        DeadlinePassed,  // The parent ended the child.
        NotStarted,      // code: the errno of fork.
    };
    Kind kind = Kind::NotStarted;
    int code = 0;
};

// Runs job in a child process and waits for it at most limit. SIGTERM (CUPS
// cancelling the job) ends the child at once and then this process, by the
// same signal. job's return value is the child's exit status.
WatchedEnd RunWatched(const std::function<int()>& job, std::chrono::seconds limit);

// In the child, once its identity has changed (which clears the setting):
// the child ends when the watching parent does, so nothing goes on unwatched.
void EndWithWatcher();

struct WatchVerdict {
    int status = 0;
    std::string message;  // Empty when the child reported for itself.
};

// A child that did not finish may or may not have handed the job over, and
// ending it was up to its owner: the job is held for someone to release or
// cancel, and the queue goes on.
WatchVerdict JudgeWatchedEnd(const WatchedEnd& end, std::chrono::seconds limit,
                             std::uint32_t jobId);

}  // namespace mossvane::cups
