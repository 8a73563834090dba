// The server connection with POSIX sockets and poll; the backend runs on
// POSIX systems only.
#include "server_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace mossvane::cups {

namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(100);

// The cases in which a server may still appear: no socket file yet, nobody
// listening on it yet, or its backlog full for a moment.
bool MayAppearLater(int errnoValue) {
    return errnoValue == ENOENT || errnoValue == ECONNREFUSED || errnoValue == EAGAIN;
}

}  // namespace

ConnectResult ServerConnection::Connect(const std::string& socketPath,
                                        std::chrono::milliseconds patience) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        m_lastError = ENAMETOOLONG;
        return ConnectResult::Failed;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    Deadline deadline = Deadline::After(patience);
    for (;;) {
        platform::posix::UniqueFd fd(
            socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!fd.IsValid()) {
            m_lastError = errno;
            return ConnectResult::Failed;
        }
        if (connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            m_fd = std::move(fd);
            return ConnectResult::Connected;
        }
        m_lastError = errno;
        if (!MayAppearLater(m_lastError)) return ConnectResult::Failed;
        if (deadline.HasPassed()) return ConnectResult::NoServer;
        std::this_thread::sleep_for(kRetryPause);
    }
}

bool ServerConnection::PeerUid(std::uint32_t& uid) const {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(m_fd.Get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return false;
    uid = credentials.uid;
    return true;
}

IoResult ServerConnection::WaitFor(short events, const Deadline& deadline) {
    for (;;) {
        pollfd entry{m_fd.Get(), events, 0};
        int ready = poll(&entry, 1, deadline.RemainingMilliseconds());
        if (ready > 0) return IoResult::Done;  // Errors and hang-ups show in the next call.
        if (ready == 0) return IoResult::TimedOut;
        if (errno != EINTR) {
            m_lastError = errno;
            return IoResult::Failed;
        }
    }
}

IoResult ServerConnection::WriteAll(const std::uint8_t* bytes, std::size_t size,
                                    const Deadline& deadline) {
    std::size_t written = 0;
    while (written < size) {
        if (IoResult waited = WaitFor(POLLOUT, deadline); waited != IoResult::Done) return waited;
        ssize_t sent = send(m_fd.Get(), bytes + written, size - written, MSG_NOSIGNAL);
        if (sent >= 0) {
            written += static_cast<std::size_t>(sent);
            continue;
        }
        if (errno == EINTR || errno == EAGAIN) continue;
        m_lastError = errno;
        return errno == EPIPE || errno == ECONNRESET ? IoResult::Closed : IoResult::Failed;
    }
    return IoResult::Done;
}

IoResult ServerConnection::ReadSome(std::uint8_t* buffer, std::size_t size, std::size_t& got,
                                    const Deadline& deadline) {
    got = 0;
    for (;;) {
        if (IoResult waited = WaitFor(POLLIN, deadline); waited != IoResult::Done) return waited;
        ssize_t received = recv(m_fd.Get(), buffer, size, 0);
        if (received > 0) {
            got = static_cast<std::size_t>(received);
            return IoResult::Done;
        }
        if (received == 0) return IoResult::Closed;
        if (errno == EINTR || errno == EAGAIN) continue;
        m_lastError = errno;
        return errno == ECONNRESET ? IoResult::Closed : IoResult::Failed;
    }
}

IoResult ServerConnection::WaitForClose(const Deadline& deadline) {
    std::uint8_t byte = 0;
    std::size_t got = 0;
    m_lastError = 0;
    switch (ReadSome(&byte, 1, got, deadline)) {
        case IoResult::Closed:
            // A reset rather than an orderly end: the server left bytes of
            // the job unread, or died.
            return m_lastError == ECONNRESET ? IoResult::Closed : IoResult::Done;
        case IoResult::TimedOut:
            return IoResult::TimedOut;
        case IoResult::Failed:
            return IoResult::Closed;
        case IoResult::Done:
            break;
    }
    return IoResult::Failed;
}

}  // namespace mossvane::cups
