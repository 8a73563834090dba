// What the POSIX stand-in for the named pipe promises: a private socket file,
// same-user peers only, stale files replaced, live ones left alone.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/system_info.h"
#include "platform/utf8.h"
#include "server_harness.h"

namespace mossvane::testing {
namespace {

class ServerSocketTest : public ServerTest {
  protected:
    static std::string RuntimeFolder() { return std::getenv("XDG_RUNTIME_DIR"); }

    static std::string SocketPath() {
        std::u16string user;
        std::string name = "Mossvane";
        if (platform::GetCurrentUserName(user)) name += "_" + platform::Utf16ToUtf8(user);
        return RuntimeFolder() + "/" + name;
    }
};

TEST_F(ServerSocketTest, SocketFileIsPrivateToTheUser) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    platform::PipeConnection client;
    ASSERT_TRUE(Connect(client));
    struct stat info {};
    ASSERT_EQ(stat(SocketPath().c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_uid, geteuid());
}

TEST_F(ServerSocketTest, StaleSocketFileIsReplaced) {
    int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, SocketPath().c_str());
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(stale);  // Nobody listens any more: what a crashed server leaves.

    auto server = StartServer();
    ASSERT_TRUE(server);
    platform::PipeConnection client;
    ASSERT_TRUE(Connect(client));
    EXPECT_TRUE(WaitForDebugText(*server, "[PI]Plus Call Count"));
}

TEST_F(ServerSocketTest, LiveSocketIsNeverTakenOver) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    platform::PipeConnection client;
    ASSERT_TRUE(Connect(client));

    // A verb the program doesn't know lets a second process try to serve.
    auto second = StartProgram({"/foo"});
    ASSERT_TRUE(second);
    int exitCode = -1;
    ASSERT_TRUE(second->WaitForExit(kStartTimeout, exitCode)) << second->DebugOutput();
    EXPECT_EQ(exitCode, 0);
    EXPECT_NE(second->DebugOutput().find("[PI]CreateNamedPipe failed, GLE="), std::string::npos)
        << second->DebugOutput();
    EXPECT_TRUE(std::filesystem::exists(SocketPath()));

    platform::PipeConnection another;
    EXPECT_TRUE(Connect(another));
    EXPECT_TRUE(WaitForDebugLineCount(*server, "[PI]Plus Call Count", 2, kStartTimeout));
}

TEST_F(ServerSocketTest, SocketFileIsRemovedWhenTheServerStops) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    {
        platform::PipeConnection client;
        ASSERT_TRUE(Connect(client));
    }
    int exitCode = -1;
    ASSERT_TRUE(server->WaitForExit(kIdleStopTimeout, exitCode));
    EXPECT_FALSE(std::filesystem::exists(SocketPath()));
}

TEST_F(ServerSocketTest, PeerOfAnotherUserIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
    auto server = StartServer();
    ASSERT_TRUE(server);
    platform::PipeConnection own;
    ASSERT_TRUE(Connect(own));
    // Let the other user reach the socket at all, so only the peer check stops it.
    std::filesystem::path runtime = RuntimeFolder();
    chmod(runtime.c_str(), 0755);
    chmod(runtime.parent_path().c_str(), 0755);
    chmod(SocketPath().c_str(), 0666);

    // The path names the user, so it is taken before the child changes user.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, SocketPath().c_str());
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setuid(65534) != 0) _exit(2);
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) _exit(3);
        char byte = 0;
        // The server drops the connection: the read ends without data.
        _exit(read(fd, &byte, 1) <= 0 ? 0 : 4);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(WaitForDebugText(*server, "[PI] Refused a client of another user"));
    EXPECT_EQ(CountLines(server->DebugOutput(), "[PI]Plus Call Count"), 1u);
}

}  // namespace
}  // namespace mossvane::testing
