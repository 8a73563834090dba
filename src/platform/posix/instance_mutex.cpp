// The per-user named mutex on POSIX: an exclusive flock on
// <runtime folder>/<name>.lock. A lock that is already held is the
// "already exists" case; the kernel drops it when the holder dies.
#include "platform/instance_mutex.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "platform/posix/posix_util.h"

namespace mossvane::platform {

struct NamedMutex::Impl {
    posix::UniqueFd fd;
    bool locked = false;
};

NamedMutex::NamedMutex() = default;
NamedMutex::~NamedMutex() {
    Close();
}
NamedMutex::NamedMutex(NamedMutex&&) noexcept = default;
NamedMutex& NamedMutex::operator=(NamedMutex&&) noexcept = default;

NamedMutex NamedMutex::Create(std::u16string_view name, ErrorCode& lastError) {
    NamedMutex mutex;
    std::string path;
    lastError = posix::RuntimeObjectPath(name, ".lock", path, posix::RuntimeUse::Serve);
    if (lastError != kSuccess) return mutex;

    posix::UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.IsValid()) {
        lastError = posix::ErrorFromErrno(errno);
        return mutex;
    }
    mutex.m_impl = std::make_unique<Impl>();
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) {
        mutex.m_impl->locked = true;
        lastError = kSuccess;
    } else {
        lastError = errno == EWOULDBLOCK ? kAlreadyExists : posix::ErrorFromErrno(errno);
    }
    mutex.m_impl->fd = std::move(fd);
    return mutex;
}

bool NamedMutex::IsValid() const {
    return m_impl && m_impl->fd.IsValid();
}

void NamedMutex::Release() {
    if (!m_impl || !m_impl->locked) return;
    flock(m_impl->fd.Get(), LOCK_UN);
    m_impl->locked = false;
}

void NamedMutex::Close() {
    m_impl.reset();
}

// Integrity levels don't exist here; the label is a no-op that succeeds.
bool NamedMutex::ApplyLowIntegrityLabel() {
    return true;
}

}  // namespace mossvane::platform
