// Stop requests on Windows: the server is a GUI process without a window or
// a console, so neither console control events nor session-end messages
// reach it; it stops by its own rules only. The watcher does nothing.
#include "platform/stop_signals.h"

namespace mossvane::platform {

struct StopSignals::Impl {};

StopSignals::StopSignals(std::function<void(int)>) : m_impl(std::make_unique<Impl>()) {}

StopSignals::~StopSignals() = default;

bool StopSignals::Requested() const {
    return false;
}

}  // namespace mossvane::platform
