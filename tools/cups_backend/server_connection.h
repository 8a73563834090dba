// The backend's connection to the job user's server: a Unix stream socket
// whose every read and write waits at most until a deadline, and whose peer
// is checked to run as the job user before anything is sent.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "deadline.h"
#include "platform/posix/posix_util.h"

namespace mossvane::cups {

enum class IoResult {
    Done,      // Every byte went out, or at least one byte came in.
    TimedOut,  // The deadline passed first.
    Closed,    // The server closed its end.
    Failed,    // Any other error (errno is in the connection's last error).
};

enum class ConnectResult {
    Connected,
    NoServer,  // Nobody listened on the socket within the patience.
    Failed,    // The socket path is unusable (too long) or the system refused.
};

class ServerConnection {
  public:
    // Connects to socketPath. A server that is being started (socket
    // activation, or by hand) may take a moment: a refused or missing
    // socket is tried again until patience runs out.
    ConnectResult Connect(const std::string& socketPath, std::chrono::milliseconds patience);

    // The uid of the process that made the listening socket (SO_PEERCRED);
    // false when the system can't tell.
    bool PeerUid(std::uint32_t& uid) const;

    IoResult WriteAll(const std::uint8_t* bytes, std::size_t size, const Deadline& deadline);

    // Reads at least one byte, at most size.
    IoResult ReadSome(std::uint8_t* buffer, std::size_t size, std::size_t& got,
                      const Deadline& deadline);

    // Waits for the server to close the connection: Done when it closed in
    // order without sending anything, Closed when the connection broke
    // instead (the job may be lost), Failed when it sent something.
    IoResult WaitForClose(const Deadline& deadline);

    int LastError() const { return m_lastError; }
    void Close() { m_fd.Reset(); }

  private:
    IoResult WaitFor(short events, const Deadline& deadline);

    platform::posix::UniqueFd m_fd;
    int m_lastError = 0;
};

}  // namespace mossvane::cups
