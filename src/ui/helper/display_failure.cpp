#include "helper/display_failure.h"

#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/posix/posix_util.h"

namespace mossvane::dialog_helper {
namespace {

using platform::posix::UniqueFd;

constexpr char kX11SocketFolder[] = "/tmp/.X11-unix/X";

const char* Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// Connects to a local socket; 0 when it accepts, else the errno.
int ConnectError(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return ENAMETOOLONG;
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.IsValid()) return errno;
    memcpy(address.sun_path, path.c_str(), path.size());
    if (connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return errno;
    }
    return 0;
}

std::string SocketVerdict(const std::string& path, const char* acceptedButUnusable) {
    const int error = ConnectError(path);
    const std::string where = " (" + path + "): ";
    return where + (error == 0 ? acceptedButUnusable : strerror(error));
}

std::string DescribeWayland(const std::string& name) {
    std::string path = name;
    if (name[0] != '/') {
        const char* runtime = Variable("XDG_RUNTIME_DIR");
        if (runtime == nullptr) return ": XDG_RUNTIME_DIR is not set, so its socket has no place";
        path = std::string(runtime) + "/" + name;
    }
    return SocketVerdict(path, "the compositor accepts connections but not this client");
}

// "[protocol/][host]:number[.screen]". A server on this machine reached
// through the "unix" protocol, or with no host at all, listens on
// /tmp/.X11-unix/X<number>; others are reached over the network.
std::string DescribeX11(const std::string& name) {
    const std::size_t colon = name.rfind(':');
    const std::size_t dot = name.find('.', colon);
    const std::string number =
        colon == std::string::npos ? "" : name.substr(colon + 1, dot - colon - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return ": not a display name ([host]:number[.screen])";
    }
    std::string host = name.substr(0, colon);
    const std::size_t slash = host.find('/');
    const std::string protocol = slash == std::string::npos ? "" : host.substr(0, slash);
    if (slash != std::string::npos) host.erase(0, slash + 1);
    const bool local = protocol == "unix" || (protocol.empty() && (host.empty() || host == "unix"));
    if (!local) return ": the X server on " + host + " did not accept the connection";
    return SocketVerdict(kX11SocketFolder + number,
                         "the X server accepts connections but refused this client "
                         "(its authorization, XAUTHORITY, is the usual cause)");
}

}  // namespace

std::string DescribeDisplayFailure() {
    const char* wayland = Variable("WAYLAND_DISPLAY");
    const char* x11 = Variable("DISPLAY");
    if (wayland == nullptr && x11 == nullptr) return "neither WAYLAND_DISPLAY nor DISPLAY is set";
    std::string description;
    if (wayland != nullptr) {
        description = "WAYLAND_DISPLAY \"" + std::string(wayland) + "\"" + DescribeWayland(wayland);
    }
    if (x11 != nullptr) {
        if (!description.empty()) description += "; ";
        description += "DISPLAY \"" + std::string(x11) + "\"" + DescribeX11(x11);
    }
    return description;
}

}  // namespace mossvane::dialog_helper
