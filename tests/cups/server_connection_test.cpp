// The backend's connection to a server: its waits end at their deadline,
// and it tells who made the socket it reached.
#include "server_connection.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/temp_folder.h"

namespace mossvane::cups {
namespace {

using namespace std::chrono_literals;

// A listening socket that accepts (in the backlog) but never reads or writes.
class SilentListener {
  public:
    explicit SilentListener(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_fd, 4) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~SilentListener() {
        if (m_fd >= 0) close(m_fd);
    }
    bool IsListening() const { return m_fd >= 0; }

  private:
    int m_fd = -1;
};

class ServerConnectionTest : public ::testing::Test {
  protected:
    std::string SocketPath() const { return (m_folder.path() / "server.sock").string(); }
    mossvane::test::TempFolder m_folder;
};

TEST_F(ServerConnectionTest, NobodyListeningIsNoServerAfterThePatience) {
    ServerConnection connection;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(connection.Connect(SocketPath(), 300ms), ConnectResult::NoServer);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
}

TEST_F(ServerConnectionTest, TooLongAPathFailsAtOnce) {
    ServerConnection connection;
    EXPECT_EQ(connection.Connect("/" + std::string(200, 'x'), 10s), ConnectResult::Failed);
}

TEST_F(ServerConnectionTest, ThePeerIsWhoMadeTheSocket) {
    SilentListener listener(SocketPath());
    ASSERT_TRUE(listener.IsListening());
    ServerConnection connection;
    ASSERT_EQ(connection.Connect(SocketPath(), 1s), ConnectResult::Connected);
    std::uint32_t uid = 12345;
    ASSERT_TRUE(connection.PeerUid(uid));
    EXPECT_EQ(uid, geteuid());
}

TEST_F(ServerConnectionTest, AReadNobodyAnswersEndsAtItsDeadline) {
    SilentListener listener(SocketPath());
    ASSERT_TRUE(listener.IsListening());
    ServerConnection connection;
    ASSERT_EQ(connection.Connect(SocketPath(), 1s), ConnectResult::Connected);
    std::uint8_t buffer[16];
    std::size_t got = 0;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(connection.ReadSome(buffer, sizeof buffer, got, Deadline::After(200ms)),
              IoResult::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 200ms);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(connection.WaitForClose(Deadline::After(50ms)), IoResult::TimedOut);
}

TEST_F(ServerConnectionTest, AWriteNobodyReadsEndsAtItsDeadline) {
    SilentListener listener(SocketPath());
    ASSERT_TRUE(listener.IsListening());
    ServerConnection connection;
    ASSERT_EQ(connection.Connect(SocketPath(), 1s), ConnectResult::Connected);
    // Far more than the socket buffers hold.
    std::vector<std::uint8_t> data(16 << 20, 'x');
    EXPECT_EQ(connection.WriteAll(data.data(), data.size(), Deadline::After(200ms)),
              IoResult::TimedOut);
}

TEST_F(ServerConnectionTest, AClosedServerIsClosedNotTimedOut) {
    auto listener = std::make_unique<SilentListener>(SocketPath());
    ASSERT_TRUE(listener->IsListening());
    ServerConnection connection;
    ASSERT_EQ(connection.Connect(SocketPath(), 1s), ConnectResult::Connected);
    // The connection in the backlog goes with it, reset: nothing it carried
    // was taken, which is not the orderly end of a stored job.
    listener.reset();
    EXPECT_EQ(connection.WaitForClose(Deadline::After(10s)), IoResult::Closed);
    std::uint8_t byte = 1;
    EXPECT_EQ(connection.WriteAll(&byte, 1, Deadline::After(10s)), IoResult::Closed);
}

TEST(DeadlineTest, RemainingTimeNeverGoesBelowZero) {
    Deadline past = Deadline::After(-1s);
    EXPECT_TRUE(past.HasPassed());
    EXPECT_EQ(past.RemainingMilliseconds(), 0);
    Deadline future = Deadline::After(1h);
    EXPECT_FALSE(future.HasPassed());
    EXPECT_GT(future.RemainingMilliseconds(), 3500000);
}

}  // namespace
}  // namespace mossvane::cups
