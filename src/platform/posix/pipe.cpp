// The user's named pipe on POSIX: a Unix stream socket in the runtime folder
// with mode 0600. Only peers running as the same user (or root) are served,
// and a client talks only to a server of its own user, found through a
// folder and a socket file of that user's. A socket file left behind by a
// crashed server is removed before binding; a live one is never touched.
#include "platform/pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include "platform/debug_output.h"
#include "platform/pipe_backend.h"
#include "platform/posix/event_native.h"
#include "platform/posix/posix_util.h"
#include "platform/posix/socket_activation.h"
#include "platform/system_info.h"
#include "platform/utf8.h"

namespace mossvane::platform {

namespace {

constexpr int kListenBacklog = 128;

bool MakeAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Connects without blocking on a full backlog, which is the busy case.
ErrorCode ConnectSocket(const std::string& path, posix::UniqueFd& socketFd) {
    sockaddr_un address;
    if (!MakeAddress(path, address)) return kFilenameTooLong;
    posix::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.IsValid()) return posix::ErrorFromErrno(errno);
    if (connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return posix::ErrorFromErrno(errno);
    }
    int flags = fcntl(fd.Get(), F_GETFL);
    fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    socketFd = std::move(fd);
    return kSuccess;
}

bool IsPeerTrusted(int fd, uid_t& peerUid) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return false;
    peerUid = credentials.uid;
    static const uid_t self = geteuid();
    return credentials.uid == self || credentials.uid == 0;
}

}  // namespace

struct PipeConnection::Impl {
    posix::UniqueFd fd;
};

PipeConnection::PipeConnection() = default;
PipeConnection::PipeConnection(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
PipeConnection::~PipeConnection() = default;
PipeConnection::PipeConnection(PipeConnection&&) noexcept = default;
PipeConnection& PipeConnection::operator=(PipeConnection&&) noexcept = default;

bool pipe_backend::IsOpen(const PipeConnection::Impl& connection) {
    return connection.fd.IsValid();
}

ErrorCode pipe_backend::Read(PipeConnection::Impl& connection, void* buffer, std::size_t size,
                             std::size_t& bytesRead) {
    for (;;) {
        ssize_t got = read(connection.fd.Get(), buffer, size);
        if (got > 0) {
            bytesRead = static_cast<std::size_t>(got);
            return kSuccess;
        }
        if (got == 0) return kBrokenPipe;  // The peer has closed its end.
        // A peer that closed with our data still unread, or died, resets.
        if (errno != EINTR) return posix::ErrorFromErrno(errno);
    }
}

ErrorCode pipe_backend::Write(PipeConnection::Impl& connection, const void* data, std::size_t size,
                              std::size_t& bytesWritten) {
    const auto* bytes = static_cast<const char*>(data);
    while (bytesWritten < size) {
        ssize_t sent =
            send(connection.fd.Get(), bytes + bytesWritten, size - bytesWritten, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0) return posix::ErrorFromErrno(errno);
        bytesWritten += static_cast<std::size_t>(sent);
    }
    return kSuccess;
}

ErrorCode pipe_backend::SetByteReadMode(PipeConnection::Impl&) {
    return kSuccess;
}

namespace {

// Waits until the descriptor is ready for `events` (or has an error or its
// peer's end to report), at most timeoutMilliseconds.
ErrorCode PollFor(int fd, short events, std::uint32_t timeoutMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const bool forever = timeoutMilliseconds == kWaitForever;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;) {
        int wait = -1;
        if (!forever) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT32_MAX));
        }
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, wait);
        if (ready > 0) return kSuccess;
        if (ready == 0) return kSemTimeout;
        if (errno != EINTR) return posix::ErrorFromErrno(errno);
    }
}

}  // namespace

ErrorCode pipe_backend::WaitForData(PipeConnection::Impl& connection,
                                    std::uint32_t timeoutMilliseconds) {
    return PollFor(connection.fd.Get(), POLLIN, timeoutMilliseconds);
}

ErrorCode pipe_backend::WaitForRoom(PipeConnection::Impl& connection,
                                    std::uint32_t timeoutMilliseconds) {
    return PollFor(connection.fd.Get(), POLLOUT, timeoutMilliseconds);
}

// A stream socket closed with unread data in its queue resets the
// connection instead of ending it: that is how an early end shows.
ErrorCode pipe_backend::WaitForServerEnd(PipeConnection::Impl& connection,
                                         std::uint32_t timeoutMilliseconds) {
    for (;;) {
        if (ErrorCode error = WaitForData(connection, timeoutMilliseconds)) return error;
        char byte = 0;
        const ssize_t got = recv(connection.fd.Get(), &byte, 1, MSG_DONTWAIT);
        if (got == 0) return kSuccess;
        if (got > 0) return kMoreData;
        if (errno == ECONNRESET) return kNetnameDeleted;
        if (errno != EINTR && errno != EAGAIN) return posix::ErrorFromErrno(errno);
    }
}

// The dialog helper raises its own window; no right is handed on here.
ErrorCode PipeConnection::AllowServerToTakeForeground() {
    return IsValid() ? kSuccess : kInvalidHandle;
}

// The listener turned away peers of another uid before they got this far.
ErrorCode pipe_backend::CheckClientUser(PipeConnection::Impl&) {
    return kSuccess;
}

void PipeConnection::FlushAndDisconnect() {
    // What was written stays readable for the client after the close.
    if (IsValid()) shutdown(m_impl->fd.Get(), SHUT_WR);
    Close();
}

// Unread data of the client's, if any, makes the close a reset as well.
void PipeConnection::EndAsFailure() {
    if (IsValid()) send(m_impl->fd.Get(), &kFailedEndByte, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    Close();
}

void PipeConnection::Close() {
    m_impl.reset();
}

struct PipeListener::Impl {
    std::u16string pipeName;
    std::string path;
    posix::UniqueFd listenFd;
    ino_t socketInode = 0;
};

PipeListener::PipeListener(std::u16string_view pipeName) : m_impl(std::make_unique<Impl>()) {
    m_impl->pipeName = pipeName;
}

PipeListener::~PipeListener() {
    if (!m_impl->listenFd.IsValid()) return;
    // Remove the socket file only while it is still the one this server made.
    struct stat info {};
    if (stat(m_impl->path.c_str(), &info) == 0 && info.st_ino == m_impl->socketInode) {
        unlink(m_impl->path.c_str());
    }
}

namespace {

// A socket file nobody answers on was left by a server that died.
ErrorCode RemoveStaleSocket(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return kSuccess;
    if (!S_ISSOCK(info.st_mode)) return kAlreadyExists;
    posix::UniqueFd probe;
    ErrorCode error = ConnectSocket(path, probe);
    if (error == kSuccess || error == kPipeBusy) return kAlreadyExists;
    if (unlink(path.c_str()) != 0 && errno != ENOENT) return posix::ErrorFromErrno(errno);
    return kSuccess;
}

}  // namespace

// The socket is made once; every later "instance" is the next accepted client.
ErrorCode PipeListener::CreateInstance() {
    if (m_impl->listenFd.IsValid()) return kSuccess;
    // Started on demand: the socket file is not ours (socketInode stays 0), so it stays.
    if (posix::TakeInheritedListeningSocket(m_impl->listenFd)) return kSuccess;
    ErrorCode error =
        posix::RuntimeObjectPath(m_impl->pipeName, "", m_impl->path, posix::RuntimeUse::Serve);
    if (error != kSuccess) return error;
    if ((error = RemoveStaleSocket(m_impl->path)) != kSuccess) return error;

    sockaddr_un address;
    if (!MakeAddress(m_impl->path, address)) return kFilenameTooLong;
    posix::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.IsValid()) return posix::ErrorFromErrno(errno);
    mode_t oldMask = umask(0177);  // The socket file is born with mode 0600.
    int bound = bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    int bindErrno = errno;
    umask(oldMask);
    if (bound != 0) return posix::ErrorFromErrno(bindErrno);
    if (listen(fd.Get(), kListenBacklog) != 0) return posix::ErrorFromErrno(errno);

    struct stat info {};
    if (stat(m_impl->path.c_str(), &info) == 0) m_impl->socketInode = info.st_ino;
    m_impl->listenFd = std::move(fd);
    return kSuccess;
}

namespace {

constexpr int kFirstAcceptPauseMs = 10;
constexpr int kLongestAcceptPauseMs = 100;

// Failures that a waiting client would repeat at once: the socket stays
// readable, so trying again without a pause would spin.
bool IsShortOfResources(int acceptErrno) {
    return acceptErrno == EMFILE || acceptErrno == ENFILE || acceptErrno == ENOMEM ||
           acceptErrno == ENOBUFS;
}

// Pauses after a failed accept, growing while the failures go on; true when
// the exit event came meanwhile. Open connections run on their own threads
// and are served all the while.
bool PauseAfterAcceptFailure(const Event& exitEvent, int acceptErrno, int& pauseMs) {
    if (pauseMs == 0) {
        // Once per run of failures: the trace must not flood either.
        OutputDebugText(u"[PI]CreateNamedPipe failed, GLE=" +
                        Utf8ToUtf16(std::to_string(posix::ErrorFromErrno(acceptErrno))) + u".\n");
    }
    pauseMs = pauseMs == 0 ? kFirstAcceptPauseMs : std::min(pauseMs * 2, kLongestAcceptPauseMs);
    pollfd exitEntry{exitEvent.native().fd.Get(), POLLIN, 0};
    return poll(&exitEntry, 1, pauseMs) > 0;
}

}  // namespace

ListenResult PipeListener::WaitForClient(const Event& exitEvent, PipeConnection& connection,
                                         ErrorCode& error) {
    error = kSuccess;
    int acceptPauseMs = 0;
    for (;;) {
        pollfd entries[2] = {{m_impl->listenFd.Get(), POLLIN, 0},
                             {exitEvent.native().fd.Get(), POLLIN, 0}};
        if (poll(entries, 2, -1) < 0) {
            if (errno == EINTR) continue;
            error = posix::ErrorFromErrno(errno);
            return ListenResult::Failed;
        }
        // Once the stop is decided no client is taken any more, even one
        // that is already waiting: it stays in the socket's queue, which an
        // inherited socket keeps for the next start.
        if (entries[1].revents != 0 || exitEvent.IsSet()) return ListenResult::ExitRequested;
        if (entries[0].revents == 0) continue;

        posix::UniqueFd client(accept4(m_impl->listenFd.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client.IsValid()) {
            const int acceptErrno = errno;
            // Otherwise the client gave up before we got to it.
            if (IsShortOfResources(acceptErrno) &&
                PauseAfterAcceptFailure(exitEvent, acceptErrno, acceptPauseMs)) {
                return ListenResult::ExitRequested;
            }
            continue;
        }
        acceptPauseMs = 0;
        uid_t peerUid = 0;
        if (!IsPeerTrusted(client.Get(), peerUid)) {
            OutputDebugText(u"[PI] Refused a client of another user (uid " +
                            Utf8ToUtf16(std::to_string(peerUid)) + u")\n");
            continue;
        }
        auto impl = std::make_unique<PipeConnection::Impl>();
        impl->fd = std::move(client);
        connection = PipeConnection(std::move(impl));
        return ListenResult::Connected;
    }
}

void PipeListener::ClosePendingInstance() {}

namespace {

// The socket file must be the user's own: a link, or a file someone else
// made, may lead to another user's server.
ErrorCode CheckSocketFile(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return posix::ErrorFromErrno(errno);
    return S_ISSOCK(info.st_mode) && info.st_uid == geteuid() ? kSuccess : kUntrustedServer;
}

// Whoever listens on the socket gets every byte the client sends: only a
// process of the client's own user may. The check is made before anything
// is sent, whatever the folder and the file looked like.
bool IsServerOurs(int fd) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           credentials.uid == geteuid();
}

}  // namespace

ErrorCode ConnectToPipe(std::u16string_view pipeName, PipeConnection& connection) {
    std::string path;
    ErrorCode error = posix::RuntimeObjectPath(pipeName, "", path, posix::RuntimeUse::Connect);
    if (error != kSuccess) return error;
    sockaddr_un address;
    if (!MakeAddress(path, address)) return kFilenameTooLong;
    if ((error = CheckSocketFile(path)) != kSuccess) return error;
    auto impl = std::make_unique<PipeConnection::Impl>();
    if ((error = ConnectSocket(path, impl->fd)) != kSuccess) return error;
    if (!IsServerOurs(impl->fd.Get())) return kUntrustedServer;
    connection = PipeConnection(std::move(impl));
    return kSuccess;
}

// A socket has no "instance free" signal to wait for; give the server a
// moment to drain its backlog and let the caller try again. The caller's
// deadline bounds the whole wait, as one WaitNamedPipeW call does on Windows.
ErrorCode WaitForPipe(std::u16string_view pipeName, std::uint32_t timeoutMilliseconds) {
    constexpr std::uint32_t kBusyPauseMilliseconds = 50;
    std::string path;
    ErrorCode error = posix::RuntimeObjectPath(pipeName, "", path);
    if (error != kSuccess) return error;
    if (timeoutMilliseconds == 0) return kSemTimeout;
    SleepMilliseconds(std::min(timeoutMilliseconds, kBusyPauseMilliseconds));
    return access(path.c_str(), F_OK) == 0 ? kSuccess : kFileNotFound;
}

}  // namespace mossvane::platform

namespace mossvane::platform {

void PipeConnection::Flush() {}

// POLLHUP comes only once the client's socket is closed; a client that shut
// down its sending side alone (POLLRDHUP) may still be reading.
bool PipeConnection::ClientHasGone() {
    if (!IsValid()) return true;
    pollfd entry{m_impl->fd.Get(), 0, 0};
    return poll(&entry, 1, 0) == 1 && (entry.revents & (POLLHUP | POLLERR)) != 0;
}

}  // namespace mossvane::platform
