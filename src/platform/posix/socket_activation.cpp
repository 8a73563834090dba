// Socket activation through libsystemd: the handed-over descriptors start
// at SD_LISTEN_FDS_START and are announced in LISTEN_PID and LISTEN_FDS.
//
// libsystemd is loaded only when the service manager announced sockets.
// Linked for good, it and the libraries it pulls in (compression, crypto)
// would add about 1 MiB to every server's resident memory for a check that
// a server started by hand never needs.
#include "platform/posix/socket_activation.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <string>

#include "platform/debug_output.h"
#include "platform/utf8.h"

namespace mossvane::platform::posix {

namespace {

// The part of libsystemd the server uses, resolved at run time.
class Libsystemd {
  public:
    Libsystemd() : m_handle(dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL)) {
        if (m_handle == nullptr) return;
        m_listenFds = Find<decltype(sd_listen_fds)>("sd_listen_fds");
        m_isSocketUnix = Find<decltype(sd_is_socket_unix)>("sd_is_socket_unix");
    }
    ~Libsystemd() {
        if (m_handle != nullptr) dlclose(m_handle);
    }
    Libsystemd(const Libsystemd&) = delete;
    Libsystemd& operator=(const Libsystemd&) = delete;

    bool Loaded() const { return m_listenFds != nullptr && m_isSocketUnix != nullptr; }
    int ListenFds(int unsetEnvironment) const { return m_listenFds(unsetEnvironment); }
    int IsListeningUnixStream(int fd) const {
        return m_isSocketUnix(fd, SOCK_STREAM, 1, nullptr, 0);
    }

  private:
    template <typename Function>
    Function* Find(const char* name) const {
        return reinterpret_cast<Function*>(dlsym(m_handle, name));
    }

    void* m_handle;
    decltype(sd_listen_fds)* m_listenFds = nullptr;
    decltype(sd_is_socket_unix)* m_isSocketUnix = nullptr;
};

// Handed-over descriptors come without close-on-exec; the dialog helper
// must not keep the listening socket alive after the server ends.
void KeepFromChildren(int fd) {
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

}  // namespace

bool TakeInheritedListeningSocket(UniqueFd& listenFd) {
    if (std::getenv("LISTEN_FDS") == nullptr) return false;
    Libsystemd systemd;
    if (!systemd.Loaded()) {
        OutputDebugText(
            u"[PI] Ignoring the handed-over sockets: libsystemd.so.0 could not be loaded\n");
        return false;
    }
    // Clearing the announcement keeps it from programs the server starts.
    int count = systemd.ListenFds(1);
    if (count <= 0) return false;
    for (int i = 0; i < count; ++i) KeepFromChildren(SD_LISTEN_FDS_START + i);
    if (count != 1) {
        OutputDebugText(u"[PI] Ignoring " + Utf8ToUtf16(std::to_string(count)) +
                        u" handed-over sockets: one was expected\n");
        return false;
    }
    if (systemd.IsListeningUnixStream(SD_LISTEN_FDS_START) <= 0) {
        OutputDebugText(u"[PI] Ignoring the handed-over socket: not a listening stream socket\n");
        return false;
    }
    listenFd.Reset(SD_LISTEN_FDS_START);
    OutputDebugText(u"[PI] Serving the socket handed over by the service manager\n");
    return true;
}

}  // namespace mossvane::platform::posix
