// Socket activation through libsystemd: the handed-over descriptors start
// at SD_LISTEN_FDS_START and are announced in LISTEN_PID and LISTEN_FDS.
#include "platform/posix/socket_activation.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>

#include <string>

#include "platform/debug_output.h"
#include "platform/utf8.h"

namespace mossvane::platform::posix {

namespace {

// Handed-over descriptors come without close-on-exec; the dialog helper
// must not keep the listening socket alive after the server ends.
void KeepFromChildren(int fd) {
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

}  // namespace

bool TakeInheritedListeningSocket(UniqueFd& listenFd) {
    // Clearing the announcement keeps it from programs the server starts.
    int count = sd_listen_fds(1);
    if (count <= 0) return false;
    for (int i = 0; i < count; ++i) KeepFromChildren(SD_LISTEN_FDS_START + i);
    if (count != 1) {
        OutputDebugText(u"[PI] Ignoring " + Utf8ToUtf16(std::to_string(count)) +
                        u" handed-over sockets: one was expected\n");
        return false;
    }
    if (sd_is_socket_unix(SD_LISTEN_FDS_START, SOCK_STREAM, 1, nullptr, 0) <= 0) {
        OutputDebugText(u"[PI] Ignoring the handed-over socket: not a listening stream socket\n");
        return false;
    }
    listenFd.Reset(SD_LISTEN_FDS_START);
    OutputDebugText(u"[PI] Serving the socket handed over by the service manager\n");
    return true;
}

}  // namespace mossvane::platform::posix
