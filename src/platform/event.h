// A manual-reset event: once set it stays set until reset, and every waiter
// is released. Pipe listeners can wait on it together with a connection.
#pragma once

#include <memory>

namespace mossvane::platform {

class Event {
  public:
    // Created non-signalled. When the system can't make one, the event is
    // absent (a debug line says so): Set and Reset do nothing, IsSet is
    // false and Wait returns at once.
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;

    // Blocks until the event is set.
    void Wait() const;

    // The backend's waitable object (a HANDLE or a file descriptor).
    struct Native;
    const Native& native() const;

  private:
    std::unique_ptr<Native> m_native;
};

}  // namespace mossvane::platform
