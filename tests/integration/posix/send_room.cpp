// The server's end of the connection, taken over with pidfd_getfd (the test
// runs as root), is the one whose peer is this process; bytes written
// through it fill the server's send room just as its own answers would.
#include "send_room.h"

#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/posix_util.h"
#include "server_harness.h"

namespace mossvane::testing {

namespace {

using platform::posix::UniqueFd;

// Called directly: glibc's declarations of these lack C linkage in C++.
int OpenProcess(pid_t process) {
    return static_cast<int>(syscall(SYS_pidfd_open, process, 0));
}
int TakeDescriptor(int process, int fd) {
    return static_cast<int>(syscall(SYS_pidfd_getfd, process, fd, 0));
}

UniqueFd ServerEndOfOurConnection(pid_t server) {
    const UniqueFd process(OpenProcess(server));
    std::error_code error;
    const std::string folder = "/proc/" + std::to_string(server) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        UniqueFd fd(TakeDescriptor(process.Get(), std::stoi(entry.path().filename())));
        ucred peer{};
        socklen_t length = sizeof peer;
        if (fd.IsValid() && getsockopt(fd.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
            peer.pid == getpid()) {
            return fd;
        }
    }
    return UniqueFd();
}

}  // namespace

std::size_t FillServersSendRoom(std::uint32_t serverId) {
    UniqueFd serverEnd;
    // The server takes the connection on a thread of its own, a moment later.
    WaitUntil(
        [&] {
            serverEnd = ServerEndOfOurConnection(static_cast<pid_t>(serverId));
            return serverEnd.IsValid();
        },
        kStartTimeout);
    const std::vector<char> filler(64 * 1024, static_cast<char>(kSendRoomFiller));
    std::size_t total = 0;
    for (;;) {
        const ssize_t sent =
            send(serverEnd.Get(), filler.data(), filler.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent <= 0) return total;
        total += static_cast<std::size_t>(sent);
    }
}

}  // namespace mossvane::testing
