// Stop requests on POSIX: SIGTERM and SIGINT. The handler only writes the
// signal number into a pipe (the self-pipe trick, since almost nothing else
// is safe inside a handler); a watcher thread reads it and calls back. The
// signals stay unblocked, so programs the server starts (the dialog helper)
// inherit neither a blocked mask nor the handler.
#include "platform/stop_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <thread>

namespace mossvane::platform {

namespace {

constexpr int kWatchedSignals[] = {SIGTERM, SIGINT};
constexpr unsigned char kQuitWatcher = 0;

static_assert(std::atomic<int>::is_always_lock_free, "used inside a signal handler");

// Process-wide, as signal dispositions are. The pipe is made once and never
// closed: a handler still running on another thread while the watcher goes
// away must not write into a descriptor number that was reused meanwhile.
std::atomic<int> g_wakeWriteFd{-1};
int g_wakeReadFd = -1;
std::atomic<int> g_requestCount{0};

extern "C" void OnStopSignal(int signalNumber) {
    int savedErrno = errno;
    if (g_requestCount.fetch_add(1) > 0) {
        // Asked twice: end now. The signal is blocked while its handler runs,
        // so the raised one arrives, with the default action, on return.
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
    } else {
        auto number = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] ssize_t written = write(g_wakeWriteFd.load(), &number, 1);
    }
    errno = savedErrno;
}

void MakeWakePipeOnce() {
    if (g_wakeReadFd >= 0) return;
    int fds[2];
    // Without the pipe no stop could ever be reported; the process can't go on sensibly.
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) std::abort();
    g_wakeReadFd = fds[0];
    g_wakeWriteFd.store(fds[1]);
}

void DrainWakePipe() {
    unsigned char byte = 0;
    while (read(g_wakeReadFd, &byte, 1) == 1) {
    }
}

// Blocks until a byte arrives; kQuitWatcher when the watcher is to end.
unsigned char WaitForWakeByte() {
    for (;;) {
        pollfd entry{g_wakeReadFd, POLLIN, 0};
        if (poll(&entry, 1, -1) < 0 && errno != EINTR) return kQuitWatcher;
        unsigned char byte = 0;
        if (read(g_wakeReadFd, &byte, 1) == 1) return byte;
    }
}

}  // namespace

struct StopSignals::Impl {
    std::function<void(int)> onStop;
    std::atomic<bool> requested{false};
    struct sigaction previous[std::size(kWatchedSignals)] = {};
    std::thread watcher;

    void Watch() {
        for (;;) {
            unsigned char byte = WaitForWakeByte();
            if (byte == kQuitWatcher) return;
            requested = true;
            try {
                if (onStop) onStop(byte);
            } catch (const std::exception&) {
                // Nothing may escape a thread; the request has been recorded.
            }
        }
    }
};

StopSignals::StopSignals(std::function<void(int)> onStop) : m_impl(std::make_unique<Impl>()) {
    MakeWakePipeOnce();
    DrainWakePipe();
    g_requestCount = 0;
    m_impl->onStop = std::move(onStop);
    m_impl->watcher = std::thread([impl = m_impl.get()] { impl->Watch(); });

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // One handler at a time: a second request never overtakes the first.
    for (int signalNumber : kWatchedSignals) sigaddset(&action.sa_mask, signalNumber);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kWatchedSignals); ++i) {
        sigaction(kWatchedSignals[i], &action, &m_impl->previous[i]);
    }
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < std::size(kWatchedSignals); ++i) {
        sigaction(kWatchedSignals[i], &m_impl->previous[i], nullptr);
    }
    unsigned char quit = kQuitWatcher;
    [[maybe_unused]] ssize_t written = write(g_wakeWriteFd.load(), &quit, 1);
    m_impl->watcher.join();
}

bool StopSignals::Requested() const {
    return m_impl->requested;
}

}  // namespace mossvane::platform
