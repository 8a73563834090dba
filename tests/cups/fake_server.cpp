#include "fake_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/pipe.h"
#include "server_harness.h"

namespace mossvane::cups::test {

namespace {

constexpr int kAcceptTimeoutMs = 30000;
constexpr std::uint8_t kJobMarker = 0x1F;
constexpr std::uint8_t kEndJobCommand = 3;

bool ReadExactly(int fd, std::uint8_t* buffer, std::size_t size) {
    std::size_t have = 0;
    while (have < size) {
        ssize_t got = read(fd, buffer + have, size - have);
        if (got <= 0) return false;
        have += static_cast<std::size_t>(got);
    }
    return true;
}

int AcceptOne(int listenFd) {
    pollfd entry{listenFd, POLLIN, 0};
    if (poll(&entry, 1, kAcceptTimeoutMs) != 1) return -1;
    return accept(listenFd, nullptr, nullptr);
}

// The request ends at its first null character.
std::u16string ReadRequest(int fd) {
    std::u16string text;
    std::uint8_t unit[2];
    while (ReadExactly(fd, unit, 2)) {
        char16_t c = static_cast<char16_t>(unit[0] | (unit[1] << 8));
        if (c == 0) break;
        text += c;
    }
    return text;
}

// The C library's set*id calls change every thread of the process; the
// system calls themselves change only the calling thread, which is all the
// socket needs.
class ThreadIdentity {
  public:
    ThreadIdentity(std::optional<uid_t> uid, gid_t gid) : m_active(uid.has_value()) {
        if (!m_active) return;
        syscall(SYS_setresgid, -1, gid, -1);
        syscall(SYS_setresuid, -1, *uid, -1);
    }
    ~ThreadIdentity() {
        if (!m_active) return;
        syscall(SYS_setresuid, -1, 0, -1);
        syscall(SYS_setresgid, -1, 0, -1);
    }
    ThreadIdentity(const ThreadIdentity&) = delete;
    ThreadIdentity& operator=(const ThreadIdentity&) = delete;

  private:
    bool m_active;
};

}  // namespace

FakeServer::FakeServer(const std::string& socketPath, std::optional<std::u16string> answer,
                       std::size_t keepMessages)
    : FakeServer(socketPath, [&] {
          FakeServerOptions options;
          options.answer = std::move(answer);
          options.keepMessages = keepMessages;
          return options;
      }()) {}

FakeServer::FakeServer(const std::string& socketPath, FakeServerOptions options)
    : m_socketPath(socketPath), m_options(std::move(options)) {
    Listen();
    if (m_listenFd >= 0) m_thread = std::thread([this] { Serve(); });
}

void FakeServer::Listen() {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_socketPath.c_str(), sizeof address.sun_path - 1);
    ThreadIdentity identity(m_options.uid, m_options.gid);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 4) != 0) {
        close(fd);
        return;
    }
    m_listenFd = fd;
}

FakeServer::~FakeServer() {
    if (m_listenFd < 0) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    shutdown(m_listenFd, SHUT_RDWR);
    m_thread.join();
    close(m_listenFd);
    unlink(m_socketPath.c_str());
}

void FakeServer::HangUntilStopped() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stopped.wait(lock, [this] { return m_stopping; });
}

// False once the stand-in is being stopped.
bool FakeServer::PauseUnlessStopped() {
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_stopped.wait_for(lock, m_options.pause, [this] { return m_stopping; });
}

void FakeServer::Serve() {
    std::u16string request;
    if (m_options.answer) {
        int requestFd = AcceptOne(m_listenFd);
        if (requestFd < 0) return;
        request = ReadRequest(requestFd);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_request = request;
        }
        if (m_options.neverAnswer) {
            HangUntilStopped();
            close(requestFd);
            return;
        }
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_stopped.wait_for(lock, m_options.answerDelay, [this] { return m_stopping; });
        }
        std::vector<std::uint8_t> reply;
        for (char16_t c : *m_options.answer + u'\0') {
            reply.push_back(static_cast<std::uint8_t>(c & 0xFF));
            reply.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        (void)!send(requestFd, reply.data(), reply.size(), MSG_NOSIGNAL);
        close(requestFd);
    }

    int jobFd = AcceptOne(m_listenFd);
    bool onlyJobMessages = jobFd >= 0;
    std::uint8_t header[4];
    while (jobFd >= 0 && ReadExactly(jobFd, header, sizeof header)) {
        if (header[0] != kJobMarker) {
            onlyJobMessages = false;
            break;
        }
        // Data left unread makes the close a reset for the sender.
        if (header[1] == kEndJobCommand && m_options.jobEnd == JobEnd::Reset) break;
        ReceivedMessage message{header[1], std::vector<std::uint8_t>(header[2] | (header[3] << 8))};
        if (!ReadExactly(jobFd, message.payload.data(), message.payload.size())) break;
        std::size_t count = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_messages.push_back(std::move(message));
            count = m_messages.size();
        }
        bool ended = header[1] == kEndJobCommand;
        if (ended && m_options.jobEnd == JobEnd::Stall) HangUntilStopped();
        bool full = !ended && count == m_options.keepMessages;
        if (full && m_options.hangWhenFull) HangUntilStopped();
        if ((ended && m_options.jobEnd == JobEnd::Failure) || (full && !m_options.hangWhenFull)) {
            (void)!send(jobFd, &platform::kFailedEndByte, 1, MSG_NOSIGNAL);
        }
        if (ended || full) break;  // As the server does, it ends the connection.
        if (m_options.pause.count() > 0 && !PauseUnlessStopped()) break;
    }
    if (jobFd >= 0) close(jobFd);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_request = request;
    m_onlyJobMessages = onlyJobMessages;
    m_done = true;
}

std::u16string FakeServer::Request() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_request;
}

std::size_t FakeServer::MessageCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages.size();
}

bool FakeServer::WaitForJob(std::u16string& request, std::vector<ReceivedMessage>& messages) {
    bool done = testing::WaitUntil(
        [&] {
            std::lock_guard<std::mutex> lock(m_mutex);
            return m_done;
        },
        testing::kStartTimeout);
    std::lock_guard<std::mutex> lock(m_mutex);
    request = m_request;
    messages = m_messages;
    return done && m_onlyJobMessages;
}

}  // namespace mossvane::cups::test
