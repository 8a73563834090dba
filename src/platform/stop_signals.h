// Requests from outside the process to stop the server: on POSIX the
// signals SIGTERM (systemctl --user stop, the end of the session, a plain
// kill) and SIGINT (Ctrl+C in a terminal). A Windows GUI process without a
// window receives no such request, so there the watcher never fires.
#pragma once

#include <functional>
#include <memory>

namespace mossvane::platform {

// Watches for stop requests while it lives. There is at most one at a time.
class StopSignals {
  public:
    // The first request calls onStop once, with the signal number, on a
    // thread of the watcher's own (never inside a signal handler). A second
    // request ends the process at once, as the signal would have without
    // the watcher.
    explicit StopSignals(std::function<void(int signalNumber)> onStop);
    // Puts back what the signals did before.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Whether a stop was requested while the watcher lived.
    bool Requested() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace mossvane::platform
