// State shared by every thread of the pipe server. There is one server per
// process; the state is made once and lives until the process ends, so
// connection threads that outlive the listener never see it destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/event.h"

namespace mossvane {

// The event that wakes requests waiting for their turn at the dialog. It
// starts absent (waiting returns at once, setting does nothing) and is
// replaced by a fresh one each time a request passes its turn.
class TurnEvent {
  public:
    void Set();
    void Wait() const;
    void Replace();
    // Back to absent, as at server start.
    void Clear();

  private:
    std::shared_ptr<platform::Event> Current() const;

    mutable std::mutex m_guard;
    std::shared_ptr<platform::Event> m_event;
};

struct ServerState {
    // Guards every change of CallCount and the drawing of dialog tickets.
    std::mutex lock;
    // Connections accepted and not yet ended. Changed under the lock; read
    // without it by the exit checks, where a stale value only shifts a check.
    std::atomic<std::int32_t> CallCount = 0;
    // Only ever set; its signal stops the listener.
    platform::Event exitEvent;
    TurnEvent turnEvent;
    // Last dialog ticket drawn and the ticket whose dialog may show now.
    std::int32_t MySeqNo = -1;
    std::atomic<std::int32_t> CurrentNo = 0;

    // What a stop waits for (see server_stop.h). Connections whose client
    // sends requests rather than a print job, counted from their first
    // request on: an EXIT request ends them with the process (a dialog on
    // screen, a request waiting for its turn) instead of waiting for them.
    // The EXIT's own connection is left out while its answer is on its way.
    std::atomic<std::int32_t> requestConnections = 0;
    // Set before the exit event by an EXIT request and by a stop asked for
    // from outside the process (a signal).
    std::atomic<bool> exitRequested = false;
    std::atomic<bool> stopFromOutside = false;
};

ServerState& Server();

// Puts the counters to their start values before a server runs.
void ResetServerState();

}  // namespace mossvane
