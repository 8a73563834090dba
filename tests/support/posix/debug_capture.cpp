// DebugCapture on POSIX, where the debugger output is standard error with
// one write per text. File descriptor 2 is pointed at one end of a Unix
// sequenced-packet socket pair, which keeps every write a record of its own,
// and the other end reports the writer's process id with each record
// (SO_PASSCRED), so texts are kept per process as a DBWIN listener keeps them.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/posix/posix_util.h"
#include "support/debug_capture.h"

namespace mossvane::test {

using platform::posix::UniqueFd;

namespace {

constexpr std::size_t kLargestText = 256 * 1024;

// Receives one record; false at the end of the stream or on an error that
// ends the capture. pid is 0 when the kernel did not say who wrote it.
bool ReceiveText(int fd, std::string& text, pid_t& pid, int flags) {
    text.assign(kLargestText, '\0');
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(ucred))> control{};
    iovec part{text.data(), text.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    ssize_t received;
    do {
        received = recvmsg(fd, &message, flags);
    } while (received < 0 && errno == EINTR);
    if (received <= 0) return false;
    text.resize(static_cast<std::size_t>(received));
    pid = 0;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_CREDENTIALS) {
            ucred credentials{};
            std::memcpy(&credentials, CMSG_DATA(header), sizeof(credentials));
            pid = credentials.pid;
        }
    }
    return true;
}

// The kernel names the writer of each record; 0 means it did not say.
bool Keeps(pid_t writer, std::uint32_t processId) {
    return processId == DebugCapture::kAnyProcess || writer == 0 ||
           static_cast<std::uint32_t>(writer) == processId;
}

}  // namespace

struct DebugCapture::Listener {
    UniqueFd readEnd;
    UniqueFd writeEnd;
    UniqueFd savedStandardError;
    UniqueFd stopRead;
    UniqueFd stopWrite;
    std::thread reader;
    bool redirected = false;

    bool Start(CapturedTexts& texts, std::uint32_t processId);
    void Stop();
    void Run(CapturedTexts& texts, std::uint32_t processId);
    void Drain(CapturedTexts& texts, std::uint32_t processId);
};

bool DebugCapture::Listener::Start(CapturedTexts& texts, std::uint32_t processId) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
    readEnd.Reset(pair[0]);
    writeEnd.Reset(pair[1]);
    int on = 1;
    setsockopt(readEnd.Get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof(on));
    int stop[2];
    if (pipe2(stop, O_CLOEXEC) != 0) return false;
    stopRead.Reset(stop[0]);
    stopWrite.Reset(stop[1]);
    savedStandardError.Reset(fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3));
    if (!savedStandardError.IsValid()) return false;
    // The new descriptor 2 is inherited by children, whose texts the
    // process id filter can then pick out.
    if (dup2(writeEnd.Get(), STDERR_FILENO) < 0) return false;
    redirected = true;
    reader = std::thread([this, &texts, processId] { Run(texts, processId); });
    return true;
}

void DebugCapture::Listener::Run(CapturedTexts& texts, std::uint32_t processId) {
    std::array<pollfd, 2> waits{{{readEnd.Get(), POLLIN, 0}, {stopRead.Get(), POLLIN, 0}}};
    for (;;) {
        if (poll(waits.data(), waits.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (waits[1].revents != 0) break;
        std::string text;
        pid_t pid = 0;
        if (!ReceiveText(readEnd.Get(), text, pid, 0)) return;
        if (Keeps(pid, processId)) texts.Add(static_cast<std::uint32_t>(pid), std::move(text));
    }
    Drain(texts, processId);
}

// Keeps what was written before the capture ended.
void DebugCapture::Listener::Drain(CapturedTexts& texts, std::uint32_t processId) {
    std::string text;
    pid_t pid = 0;
    while (ReceiveText(readEnd.Get(), text, pid, MSG_DONTWAIT)) {
        if (Keeps(pid, processId)) texts.Add(static_cast<std::uint32_t>(pid), std::move(text));
    }
}

void DebugCapture::Listener::Stop() {
    if (redirected) dup2(savedStandardError.Get(), STDERR_FILENO);
    redirected = false;
    if (!reader.joinable()) return;
    const char wake = 1;
    while (write(stopWrite.Get(), &wake, 1) < 0 && errno == EINTR) {
    }
    reader.join();
}

DebugCapture::DebugCapture(std::uint32_t processId) : m_listener(std::make_unique<Listener>()) {
    if (!m_listener->Start(m_texts, processId)) m_listener->Stop();
}

DebugCapture::~DebugCapture() {
    m_listener->Stop();
}

bool DebugCapture::IsListening() const {
    return m_listener->reader.joinable();
}

}  // namespace mossvane::test
