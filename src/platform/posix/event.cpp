// Manual-reset event on POSIX: an eventfd whose counter is non-zero while the
// event is set. Waiting is a poll for readability, which never consumes it.
#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/debug_output.h"
#include "platform/posix/event_native.h"
#include "platform/utf8.h"

namespace mossvane::platform {

// Without a descriptor (all of them in use, say) the event is absent, as a
// failed CreateEvent leaves it: setting does nothing and waiting returns at
// once, so the dialog queue falls back to polling instead of losing the
// process.
Event::Event() : m_native(std::make_unique<Native>()) {
    m_native->fd.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (m_native->fd.IsValid()) return;
    const int error = errno;
    OutputDebugText(u"[PI]CreateEvent failed, GLE=" +
                    Utf8ToUtf16(std::to_string(posix::ErrorFromErrno(error))) + u".");
}

Event::~Event() = default;

void Event::Set() {
    if (!m_native->fd.IsValid()) return;
    std::uint64_t one = 1;
    // A full counter (never reached here) would still read as set.
    [[maybe_unused]] ssize_t written = write(m_native->fd.Get(), &one, sizeof one);
}

void Event::Reset() {
    if (!m_native->fd.IsValid()) return;
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t read_ = read(m_native->fd.Get(), &value, sizeof value);
}

bool Event::IsSet() const {
    if (!m_native->fd.IsValid()) return false;
    pollfd entry{m_native->fd.Get(), POLLIN, 0};
    return poll(&entry, 1, 0) == 1;
}

void Event::Wait() const {
    // poll would skip a negative descriptor and wait for nothing, forever.
    if (!m_native->fd.IsValid()) return;
    pollfd entry{m_native->fd.Get(), POLLIN, 0};
    while (poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
}

const Event::Native& Event::native() const {
    return *m_native;
}

}  // namespace mossvane::platform
