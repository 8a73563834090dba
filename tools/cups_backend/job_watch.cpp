// The watching parent with fork, sigtimedwait and waitpid; the backend runs
// on POSIX systems only.
#include "job_watch.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "backend_status.h"
#include "client/deadline.h"

namespace mossvane::cups {

namespace {

pid_t s_watcher = 0;

sigset_t WatchedSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGCHLD);
    return signals;
}

pid_t EndChild(pid_t child) {
    kill(child, SIGKILL);  // Ends a stopped process as well.
    int status = 0;
    return waitpid(child, &status, 0);
}

// Ends this process by SIGTERM, as CUPS asked, once the child is gone.
[[noreturn]] void EndByTermination(pid_t child) {
    EndChild(child);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t termination;
    sigemptyset(&termination);
    sigaddset(&termination, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &termination, nullptr);
    raise(SIGTERM);
    _exit(128 + SIGTERM);
}

WatchedEnd ToWatchedEnd(int status) {
    if (WIFEXITED(status)) return {WatchedEnd::Kind::Exited, WEXITSTATUS(status)};
    return {WatchedEnd::Kind::Signalled, WTERMSIG(status)};
}

// The signals stay blocked here and are taken with sigtimedwait, so none
// can slip in between a check and the wait.
WatchedEnd WaitForChild(pid_t child, const sigset_t& signals, const client::Deadline& deadline) {
    for (;;) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) return ToWatchedEnd(status);
        if (deadline.HasPassed()) {
            EndChild(child);
            return {WatchedEnd::Kind::DeadlinePassed, 0};
        }
        const std::uint32_t left = deadline.RemainingMilliseconds();
        timespec wait{static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000L};
        if (sigtimedwait(&signals, nullptr, &wait) == SIGTERM) EndByTermination(child);
    }
}

}  // namespace

WatchedEnd RunWatched(const std::function<int()>& job, std::chrono::seconds limit) {
    // With SIGCHLD ignored (a parent may leave it so) children are reaped
    // unseen and their status is lost.
    std::signal(SIGCHLD, SIG_DFL);
    sigset_t signals = WatchedSignals();
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &signals, &previous);
    const client::Deadline deadline = client::Deadline::After(limit);
    s_watcher = getpid();
    pid_t child = fork();
    if (child < 0) {
        int error = errno;
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        return {WatchedEnd::Kind::NotStarted, error};
    }
    if (child == 0) {
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        int status = job();
        std::fflush(nullptr);
        _exit(status);
    }
    return WaitForChild(child, signals, deadline);
}

void EndWithWatcher() {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The watcher may have ended before the setting took effect.
    if (getppid() != s_watcher) _exit(128 + SIGKILL);
}

WatchVerdict JudgeWatchedEnd(const WatchedEnd& end, std::chrono::seconds limit,
                             std::uint32_t jobId) {
    std::string held =
        "; whether the job was handed over is unknown, so it is held: release it "
        "(lp -i " +
        std::to_string(jobId) + " -H resume) to send it again, or cancel it.";
    switch (end.kind) {
        case WatchedEnd::Kind::Exited:
            return {end.code, ""};
        case WatchedEnd::Kind::Signalled:
            return {kBackendHold,
                    "The part of the backend that acts for the job's user ended on "
                    "signal " +
                        std::to_string(end.code) + held};
        case WatchedEnd::Kind::DeadlinePassed:
            return {kBackendHold, "The job was not done within " + std::to_string(limit.count()) +
                                      " seconds (job-timeout) and was ended" + held};
        case WatchedEnd::Kind::NotStarted:
            break;
    }
    return {kBackendRetry, "The backend could not start its part for the job's user (error " +
                               std::to_string(end.code) + "); the job will be tried again later."};
}

}  // namespace mossvane::cups
