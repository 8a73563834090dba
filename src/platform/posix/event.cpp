// Manual-reset event on POSIX: an eventfd whose counter is non-zero while the
// event is set. Waiting is a poll for readability, which never consumes it.
#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/posix/event_native.h"

namespace mossvane::platform {

Event::Event() : m_native(std::make_unique<Native>()) {
    m_native->fd.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    // Without its descriptor the event could neither be set nor waited on.
    if (!m_native->fd.IsValid()) std::abort();
}

Event::~Event() = default;

void Event::Set() {
    std::uint64_t one = 1;
    // A full counter (never reached here) would still read as set.
    [[maybe_unused]] ssize_t written = write(m_native->fd.Get(), &one, sizeof one);
}

void Event::Reset() {
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t read_ = read(m_native->fd.Get(), &value, sizeof value);
}

bool Event::IsSet() const {
    pollfd entry{m_native->fd.Get(), POLLIN, 0};
    return poll(&entry, 1, 0) == 1;
}

void Event::Wait() const {
    pollfd entry{m_native->fd.Get(), POLLIN, 0};
    while (poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
}

const Event::Native& Event::native() const {
    return *m_native;
}

}  // namespace mossvane::platform
