// Stopping the real server from outside: SIGTERM (systemctl --user stop,
// logout, kill) and SIGINT (Ctrl+C) let the connections in progress finish
// for up to ten seconds, remove the socket file and end with exit code 0; a
// second signal ends the process at once.
#include <signal.h>

#include <chrono>

#include "pipe/job_spool.h"
#include "service_test_support.h"
#include "wire/job_message.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {
namespace {

constexpr auto kGracePeriod = 10s;

std::string StopLine(int signalNumber) {
    return "[PI] Stop requested by signal " + std::to_string(signalNumber);
}

class StopSignalTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        m_server = StartServer();
        ASSERT_TRUE(m_server);
        // The server may still be making its socket when it says it runs.
        ASSERT_TRUE(WaitUntil([] { return PathExists(SocketPath()); }, kStartTimeout));
    }

    ChildProcess& server() { return *m_server; }

    // Sends the signal and waits until the server has taken note of it.
    void Stop(int signalNumber) {
        ASSERT_EQ(kill(static_cast<pid_t>(m_server->Id()), signalNumber), 0);
        ASSERT_TRUE(WaitForDebugText(*m_server, StopLine(signalNumber))) << m_server->DebugOutput();
    }

    // A client the server has accepted and counted.
    void ConnectCounted(platform::PipeConnection& client) {
        ASSERT_TRUE(Connect(client));
        ASSERT_TRUE(WaitForDebugText(*m_server, "[PI]Plus Call Count"));
    }

    void Send(platform::PipeConnection& client, const std::vector<std::uint8_t>& bytes) {
        std::size_t written = 0;
        ASSERT_EQ(client.Write(bytes.data(), bytes.size(), written), platform::kSuccess);
    }

    void ExpectCleanEnd(std::chrono::milliseconds timeout) {
        int exitCode = -1;
        ASSERT_TRUE(m_server->WaitForExit(timeout, exitCode)) << m_server->DebugOutput();
        EXPECT_EQ(exitCode, 0);
        EXPECT_NE(m_server->DebugOutput().find("[PI] End PlugIn Server"), std::string::npos);
        EXPECT_FALSE(PathExists(SocketPath())) << "a server removes the socket file it made";
    }

  private:
    std::unique_ptr<ChildProcess> m_server;
};

class StopSignalKindTest : public StopSignalTest, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignalKindTest, IdleServerEndsCleanly) {
    Stop(GetParam());
    ExpectCleanEnd(kStartTimeout);
    std::string debug = server().DebugOutput();
    EXPECT_NE(debug.find("[PI] Exit Pipe Thread1 End ( No More)"), std::string::npos) << debug;
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalKindTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) {
                             return std::string(info.param == SIGTERM ? "Term" : "Interrupt");
                         });

TEST_F(StopSignalTest, ConnectionInProgressIsServedToItsEnd) {
    platform::PipeConnection client;
    ConnectCounted(client);
    auto stopped = std::chrono::steady_clock::now();
    Stop(SIGTERM);

    // No new clients, but the one in progress still gets its answers.
    ASSERT_TRUE(WaitUntil([] { return !PathExists(SocketPath()); }, kStartTimeout));
    platform::PipeConnection late;
    EXPECT_NE(platform::ConnectToPipe(UserPipeName(), late), platform::kSuccess);
    int exitCode = -1;
    EXPECT_FALSE(server().WaitForExit(100ms, exitCode)) << "it must wait for its client";
    EXPECT_TRUE(ExchangeQuickRequest(client));
    client.Close();

    ExpectCleanEnd(kStartTimeout);
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, kGracePeriod - 1s)
        << "the last client left; there is nothing to wait for";
}

TEST_F(StopSignalTest, JobStillOpenAtTheDeadlineKeepsItsDataWithoutInformation) {
    platform::PipeConnection client;
    ConnectCounted(client);
    Send(client, EncodeCreateJob(12));
    std::vector<std::uint8_t> data(1000, 0x41);
    Send(client, EncodeJobMessage(WRITE_JOB_CMD, data.data(), data.size()));
    ASSERT_TRUE(WaitUntil(
        [&] {
            auto jobs = FilesEndingIn(".prn");
            return jobs.size() == 1 && std::filesystem::file_size(jobs[0]) == data.size();
        },
        kStartTimeout))
        << server().DebugOutput();

    auto stopped = std::chrono::steady_clock::now();
    Stop(SIGTERM);
    ExpectCleanEnd(kIdleStopTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - stopped, kGracePeriod - 1s);
    auto jobs = FilesEndingIn(".prn");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(jobs[0]), data.size());
    EXPECT_TRUE(FilesEndingIn(".info").empty()) << "an unfinished job has no information file";
}

TEST_F(StopSignalTest, SecondSignalEndsTheWaitAtOnce) {
    platform::PipeConnection client;
    ConnectCounted(client);
    auto stopped = std::chrono::steady_clock::now();
    Stop(SIGTERM);
    ASSERT_EQ(kill(static_cast<pid_t>(server().Id()), SIGINT), 0);
    int exitCode = -1;
    ASSERT_TRUE(server().WaitForExit(kStartTimeout, exitCode));
    EXPECT_EQ(exitCode, 128 + SIGINT) << "ended by the second signal itself";
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, kGracePeriod - 1s);
}

}  // namespace
}  // namespace mossvane::testing
