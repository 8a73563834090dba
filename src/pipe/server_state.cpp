#include "pipe/server_state.h"

namespace mossvane {

std::shared_ptr<platform::Event> TurnEvent::Current() const {
    std::lock_guard<std::mutex> guard(m_guard);
    return m_event;
}

void TurnEvent::Set() {
    if (auto event = Current()) event->Set();
}

void TurnEvent::Wait() const {
    if (auto event = Current()) event->Wait();
}

void TurnEvent::Replace() {
    auto fresh = std::make_shared<platform::Event>();
    std::lock_guard<std::mutex> guard(m_guard);
    m_event = std::move(fresh);
}

void TurnEvent::Clear() {
    std::lock_guard<std::mutex> guard(m_guard);
    m_event.reset();
}

ServerState& Server() {
    // Deliberately never destroyed: detached threads may still use it while
    // the process ends.
    static ServerState* state = new ServerState();
    return *state;
}

void ResetServerState() {
    ServerState& state = Server();
    std::lock_guard<std::mutex> guard(state.lock);
    state.CallCount = 0;
    state.MySeqNo = -1;
    state.CurrentNo = 0;
    state.requestConnections = 0;
    state.exitRequested = false;
    state.stopFromOutside = false;
    state.turnEvent.Clear();
}

}  // namespace mossvane
