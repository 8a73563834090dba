// Start on demand: the listening socket belongs to the service manager,
// here played by systemd-socket-activate, which waits for the first client
// and then runs the server with the socket. The test keeps the socket open
// between runs, as systemd does, so the next client after an idle stop
// starts the server again.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/posix/posix_util.h"
#include "service_test_support.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {
namespace {

constexpr char kActivator[] = "/usr/bin/systemd-socket-activate";
constexpr char kSandboxVariables[] =
    "-E XDG_RUNTIME_DIR -E XDG_CONFIG_HOME -E XDG_DATA_HOME -E MOSSVANE_MACHINE_REG";

class SocketActivationTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (access(kActivator, X_OK) != 0) GTEST_SKIP() << kActivator << " is not installed";
        ListenLikeTheServiceManager();
    }

    // Without close-on-exec: the activator inherits it.
    void ListenLikeTheServiceManager() {
        m_path = SocketPath();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(m_path.size(), sizeof address.sun_path);
        std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);
        m_socket.Reset(socket(AF_UNIX, SOCK_STREAM, 0));
        ASSERT_TRUE(m_socket.IsValid());
        ASSERT_EQ(bind(m_socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(chmod(m_path.c_str(), 0600), 0);
        ASSERT_EQ(listen(m_socket.Get(), 16), 0);
        m_inode = Inode();
    }

    ino_t Inode() const {
        struct stat info {};
        return stat(m_path.c_str(), &info) == 0 ? info.st_ino : 0;
    }

    // The activator hands on the descriptor it was given (fd 3, announced
    // for its own process id) once a client is waiting, and the server
    // takes the activator's place in the same process. The activator passes
    // on only a few variables of its environment (as the user's service
    // manager passes its own): the sandbox's folders must be named.
    std::unique_ptr<ChildProcess> Activate() {
        std::string program = ChildProcess::ProgramFolder() + "mossvane";
        std::string fd = std::to_string(m_socket.Get());
        std::string script = "exec 3<&" + fd + "; export LISTEN_FDS=1 LISTEN_PID=$$; exec " +
                             kActivator + " " + kSandboxVariables + " " + program;
        return ChildProcess::Start("/bin/sh", {"-c", script}, folder());
    }

    // One client, served by a server that the client itself brought up.
    void VisitAndExpectAnswer(const ChildProcess& server) {
        platform::PipeConnection client;
        ASSERT_TRUE(Connect(client));
        EXPECT_TRUE(ExchangeQuickRequest(client)) << server.DebugOutput();
        EXPECT_TRUE(PathExists(m_path + ".lock")) << "the server must run in the test's folders";
    }

    void ExpectSocketUntouched() const {
        EXPECT_EQ(Inode(), m_inode) << "the socket file is the service manager's";
    }

    std::string m_path;

  private:
    platform::posix::UniqueFd m_socket;
    ino_t m_inode = 0;
};

TEST_F(SocketActivationTest, EachClientAfterAnIdleStopStartsTheServerAgain) {
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        auto server = Activate();
        ASSERT_TRUE(server);
        VisitAndExpectAnswer(*server);
        int exitCode = -1;
        ASSERT_TRUE(server->WaitForExit(kIdleStopTimeout, exitCode)) << server->DebugOutput();
        EXPECT_EQ(exitCode, 0);
        std::string debug = server->DebugOutput();
        EXPECT_NE(debug.find("[PI] Serving the socket handed over by the service manager"),
                  std::string::npos)
            << debug;
        EXPECT_EQ(CountLines(debug, "[PI] ExitThread End ( No More)"), 1u) << debug;
        EXPECT_NE(debug.find("[PI] End PlugIn Server"), std::string::npos);
        ExpectSocketUntouched();
    }
}

TEST_F(SocketActivationTest, StopSignalLeavesTheSocketToTheServiceManager) {
    auto server = Activate();
    ASSERT_TRUE(server);
    VisitAndExpectAnswer(*server);
    ASSERT_EQ(kill(static_cast<pid_t>(server->Id()), SIGTERM), 0);
    int exitCode = -1;
    ASSERT_TRUE(server->WaitForExit(kStartTimeout, exitCode)) << server->DebugOutput();
    EXPECT_EQ(exitCode, 0);
    ExpectSocketUntouched();

    // A client arriving now waits in the socket for the next server.
    platform::PipeConnection waiting;
    ASSERT_EQ(platform::ConnectToPipe(UserPipeName(), waiting), platform::kSuccess);
    auto next = Activate();
    ASSERT_TRUE(next);
    EXPECT_TRUE(ExchangeQuickRequest(waiting)) << next->DebugOutput();
}

// Started by hand, the server makes its own socket.
class StartedByHandTest : public ServerTest {
  protected:
    std::string Mappings(const ChildProcess& server) const {
        std::ifstream maps("/proc/" + std::to_string(server.Id()) + "/maps");
        std::ostringstream text;
        text << maps.rdbuf();
        return text.str();
    }
};

// libsystemd and what it pulls in would cost every idle server about 1 MiB.
TEST_F(StartedByHandTest, LeavesTheServiceManagersLibraryUnloaded) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    std::string maps = Mappings(*server);
    ASSERT_NE(maps.find("libc.so"), std::string::npos) << maps;
    EXPECT_EQ(maps.find("libsystemd"), std::string::npos) << maps;
}

// LISTEN_FDS left behind in the environment for some other process (as a
// shell started by a socket-activated service passes it on) hands nothing
// over: the server makes and serves its own socket.
TEST_F(StartedByHandTest, AnnouncementForAnotherProcessIsIgnored) {
    std::string program = ChildProcess::ProgramFolder() + "mossvane";
    auto server = ChildProcess::Start(
        "/bin/sh", {"-c", "export LISTEN_FDS=1 LISTEN_PID=1; exec " + program}, folder());
    ASSERT_TRUE(server);
    platform::PipeConnection client;
    ASSERT_TRUE(Connect(client));
    EXPECT_TRUE(ExchangeQuickRequest(client)) << server->DebugOutput();
    EXPECT_EQ(server->DebugOutput().find("handed over"), std::string::npos)
        << server->DebugOutput();
    EXPECT_TRUE(PathExists(SocketPath()));
}

}  // namespace
}  // namespace mossvane::testing
