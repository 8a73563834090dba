// Manual-reset event on Windows: an unnamed kernel event.
#include "platform/event.h"

#include <cstdlib>

#include "platform/win32/event_native.h"

namespace mossvane::platform {

Event::Event() : m_native(std::make_unique<Native>()) {
    m_native->handle.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // Without its handle the event could neither be set nor waited on.
    if (!m_native->handle.IsValid()) std::abort();
}

Event::~Event() = default;

void Event::Set() {
    SetEvent(m_native->handle.Get());
}

void Event::Reset() {
    ResetEvent(m_native->handle.Get());
}

bool Event::IsSet() const {
    return WaitForSingleObject(m_native->handle.Get(), 0) == WAIT_OBJECT_0;
}

void Event::Wait() const {
    WaitForSingleObject(m_native->handle.Get(), INFINITE);
}

const Event::Native& Event::native() const {
    return *m_native;
}

}  // namespace mossvane::platform
