// Manual-reset event on Windows: an unnamed kernel event.
#include "platform/event.h"

#include <string>

#include "platform/debug_output.h"
#include "platform/utf8.h"
#include "platform/win32/event_native.h"

namespace mossvane::platform {

// An event the system could not create is absent: setting it does nothing
// and waiting returns at once, so the dialog queue falls back to polling
// instead of losing the process.
Event::Event() : m_native(std::make_unique<Native>()) {
    m_native->handle.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (m_native->handle.IsValid()) return;
    const DWORD error = GetLastError();
    OutputDebugText(u"[PI]CreateEvent failed, GLE=" + Utf8ToUtf16(std::to_string(error)) + u".");
}

Event::~Event() = default;

void Event::Set() {
    if (m_native->handle.IsValid()) SetEvent(m_native->handle.Get());
}

void Event::Reset() {
    if (m_native->handle.IsValid()) ResetEvent(m_native->handle.Get());
}

bool Event::IsSet() const {
    return m_native->handle.IsValid() &&
           WaitForSingleObject(m_native->handle.Get(), 0) == WAIT_OBJECT_0;
}

void Event::Wait() const {
    if (m_native->handle.IsValid()) WaitForSingleObject(m_native->handle.Get(), INFINITE);
}

const Event::Native& Event::native() const {
    return *m_native;
}

}  // namespace mossvane::platform
