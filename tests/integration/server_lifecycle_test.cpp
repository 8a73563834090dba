// The server's life against the real binary: start, second instances,
// counting clients and the idle stop.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "job_client.h"
#include "platform/event.h"
#include "server_harness.h"
#include "server_inspection.h"
#include "wire/job_message.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {
namespace {

constexpr std::string_view kNoMoreLine = "[PI] ExitThread End ( No More)";

// Lines that begin with the prefix.
std::size_t CountLinesStartingWith(std::string_view text, std::string_view prefix) {
    std::size_t count = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        if (text.substr(start, end - start).starts_with(prefix)) ++count;
        start = end + 1;
    }
    return count;
}

// Every exit check that the trace opens also ends there, however it ended.
void ExpectEveryExitCheckEnded(std::string_view debug) {
    EXPECT_EQ(CountLines(debug, "[PI] ExitThread Enter"),
              CountLinesStartingWith(debug, "[PI] ExitThread End"))
        << debug;
}

class ServerLifecycleTest : public ServerTest {
  protected:
    // Connects one client and closes it again, which starts an exit check.
    void VisitOnce() {
        platform::PipeConnection client;
        ASSERT_TRUE(Connect(client));
    }

    // Waits for the server to stop and checks how it ended.
    void ExpectCleanStop(ChildProcess& server) {
        int exitCode = -1;
        ASSERT_TRUE(server.WaitForExit(kIdleStopTimeout, exitCode)) << server.DebugOutput();
        EXPECT_EQ(exitCode, 0);
        std::string debug = server.DebugOutput();
        EXPECT_EQ(CountLines(debug, kNoMoreLine), 1u) << debug;
        EXPECT_NE(debug.find("[PI] Exit Pipe Thread1 End ( No More), Printer spool option check, "
                             "and reset"),
                  std::string::npos);
        EXPECT_NE(debug.find("[PI] End PlugIn Server"), std::string::npos);
        ExpectEveryExitCheckEnded(debug);
    }

    void SendExit() {
        platform::PipeConnection client;
        ASSERT_TRUE(Connect(client));
        std::vector<std::uint8_t> request = EncodeRequest(u"@=EXIT");
        std::size_t written = 0;
        ASSERT_EQ(client.Write(request.data(), request.size(), written), platform::kSuccess);
    }
};

// A client that comes and goes between two passes restarts the check; the
// round it cut short still writes its end line.
TEST_F(ServerLifecycleTest, RestartedCheckWritesItsEnd) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    VisitOnce();
    ASSERT_TRUE(WaitForDebugText(*server, "[PI] ExitThread (CallCount : 0)"));
    VisitOnce();
    ExpectCleanStop(*server);
    EXPECT_GE(CountLines(server->DebugOutput(), "[PI] ExitThread Enter"), 2u);
}

// Clients that come and go within one pass each restart the check, and each
// restart is traced as a check of its own; only the last one runs, yet every
// one of them writes its end line, whether the server then stops when idle
// or at an EXIT.
struct RestartCase {
    const char* name;
    int restarts;
    bool exitAfterwards;
};

void PrintTo(const RestartCase& restart, std::ostream* out) {
    *out << restart.name;
}

class ExitCheckRestartTest : public ServerLifecycleTest,
                             public ::testing::WithParamInterface<RestartCase> {};

TEST_P(ExitCheckRestartTest, EveryAnnouncedCheckEnds) {
    const RestartCase& restart = GetParam();
    auto server = StartServer();
    ASSERT_TRUE(server);
    VisitOnce();
    ASSERT_TRUE(WaitForDebugText(*server, "[PI] ExitThread Enter"));
    for (int i = 0; i < restart.restarts; ++i) VisitOnce();
    if (!restart.exitAfterwards) {
        ExpectCleanStop(*server);
        return;
    }
    SendExit();
    int exitCode = -1;
    ASSERT_TRUE(server->WaitForExit(kStartTimeout, exitCode)) << server->DebugOutput();
    ExpectEveryExitCheckEnded(server->DebugOutput());
}

INSTANTIATE_TEST_SUITE_P(WithinOnePass, ExitCheckRestartTest,
                         ::testing::Values(RestartCase{"ThreeThenIdle", 3, false},
                                           RestartCase{"ThreeThenExit", 3, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// EXIT in the middle of a check: the check ends with the server, and none
// starts after the stop is decided.
TEST_F(ServerLifecycleTest, CheckRunningAtExitWritesItsEnd) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    VisitOnce();
    ASSERT_TRUE(WaitForDebugText(*server, "[PI] ExitThread (CallCount : 0)"));
    SendExit();
    int exitCode = -1;
    ASSERT_TRUE(server->WaitForExit(kStartTimeout, exitCode)) << server->DebugOutput();
    ExpectEveryExitCheckEnded(server->DebugOutput());
}

TEST_F(ServerLifecycleTest, FirstInstanceTakesTheLockAndServes) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    platform::PipeConnection client;
    ASSERT_TRUE(Connect(client));
    ASSERT_TRUE(WaitForDebugText(*server, "[PI]Plus Call Count"));
    std::string debug = server->DebugOutput();
    EXPECT_NE(debug.find("Start PlugIn Server"), std::string::npos);
    EXPECT_EQ(debug.find("ERROR_ALREADY_EXISTS"), std::string::npos);
}

TEST_F(ServerLifecycleTest, SecondInstanceWithoutVerbEndsAtOnce) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    platform::PipeConnection client;
    ASSERT_TRUE(Connect(client));

    auto second = StartProgram();
    ASSERT_TRUE(second);
    int exitCode = -1;
    ASSERT_TRUE(second->WaitForExit(kStartTimeout, exitCode));
    EXPECT_EQ(exitCode, 0);
    std::string debug = second->DebugOutput();
    EXPECT_NE(debug.find("Start PlugIn Server"), std::string::npos) << debug;
    EXPECT_NE(debug.find("ERROR_ALREADY_EXISTS"), std::string::npos) << debug;
    EXPECT_NE(debug.find("[PI] End PlugIn Server"), std::string::npos) << debug;
    EXPECT_EQ(debug.find("CreateNamedPipe"), std::string::npos) << debug;
    EXPECT_FALSE(server->WaitForExit(0ms, exitCode)) << "the first server must keep running";
}

TEST_F(ServerLifecycleTest, PipeNameHeldByAnotherProcessIsNeverServed) {
    // This test's own process holds the name first, as a squatter would.
    platform::PipeListener holder(UserPipeName());
    ASSERT_EQ(holder.CreateInstance(), platform::kSuccess);

    auto server = StartProgram();
    ASSERT_TRUE(server);
    int exitCode = -1;
    ASSERT_TRUE(server->WaitForExit(kStartTimeout, exitCode)) << server->DebugOutput();
    EXPECT_EQ(exitCode, 0);
    std::string debug = server->DebugOutput();
    EXPECT_EQ(CountLines(debug, "[PI]CreateNamedPipe failed, GLE=183."), 1u) << debug;
    EXPECT_NE(debug.find("[PI] End PlugIn Server"), std::string::npos) << debug;
    EXPECT_EQ(debug.find("[PI]Plus Call Count"), std::string::npos) << debug;

    // The name still leads to its holder alone.
    platform::PipeConnection client;
    ASSERT_TRUE(Connect(client));
    platform::Event neverSet;
    platform::PipeConnection accepted;
    platform::ErrorCode error = platform::kSuccess;
    EXPECT_EQ(holder.WaitForClient(neverSet, accepted, error), platform::ListenResult::Connected);
}

TEST_F(ServerLifecycleTest, StopsAboutTenSecondsAfterTheLastClientLeft) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    VisitOnce();
    auto left = std::chrono::steady_clock::now();
    ExpectCleanStop(*server);
    auto idle = std::chrono::steady_clock::now() - left;
    EXPECT_GE(idle, 9s) << "ten one-second passes must come first";
    std::string debug = server->DebugOutput();
    EXPECT_EQ(CountLines(debug, "[PI] ExitThread (CallCount : 0)"), 10u) << debug;
    EXPECT_NE(server->StandardOutput().find("InstanceThread: client disconnected.\n"),
              std::string::npos);
}

TEST_F(ServerLifecycleTest, ClientArrivingDuringThePassesKeepsItRunning) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    VisitOnce();
    ASSERT_TRUE(WaitForDebugText(*server, "[PI] ExitThread (CallCount : 0)"));

    platform::PipeConnection stayer;
    ASSERT_TRUE(Connect(stayer));
    ASSERT_TRUE(WaitForDebugLineCount(*server, "[PI] ExitThread End", 1, kIdleStopTimeout))
        << server->DebugOutput();
    int exitCode = -1;
    EXPECT_FALSE(server->WaitForExit(0ms, exitCode));
    EXPECT_EQ(CountLines(server->DebugOutput(), kNoMoreLine), 0u);

    stayer.Close();
    ExpectCleanStop(*server);
}

TEST_F(ServerLifecycleTest, PreparingSpoolerKeepsItRunning) {
    SetIsPreparing(1);
    auto server = StartServer();
    ASSERT_TRUE(server);
    VisitOnce();
    ASSERT_TRUE(WaitForDebugText(*server, "[PI] ExitThread End because spooler is preparing.", 30s))
        << server->DebugOutput();
    int exitCode = -1;
    EXPECT_FALSE(server->WaitForExit(0ms, exitCode));

    SetIsPreparing(0);
    VisitOnce();
    ExpectCleanStop(*server);
}

TEST_F(ServerLifecycleTest, HundredClientsAtOnceAreAllCountedBackToZero) {
    constexpr std::size_t kClients = 100;
    auto server = StartServer();
    ASSERT_TRUE(server);

    std::vector<platform::PipeConnection> clients(kClients);
    std::atomic<std::size_t> connected = 0;
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            if (Connect(clients[i], 120s)) ++connected;
        });
    }
    for (std::thread& thread : threads) thread.join();
    ASSERT_EQ(connected.load(), kClients);
    ASSERT_TRUE(WaitForDebugLineCount(*server, "[PI]Plus Call Count", kClients, 60s));

    for (auto& client : clients) client.Close();
    ASSERT_TRUE(WaitForDebugLineCount(*server, "[PI]Minus Call Count", kClients, 60s));
    ExpectCleanStop(*server);
    std::string debug = server->DebugOutput();
    EXPECT_EQ(CountLines(debug, "[PI]Plus Call Count"), kClients);
    EXPECT_EQ(CountLines(debug, "[PI]InstanceThread exitting.."), kClients);
    EXPECT_GE(CountLines(debug, "[PI] ConfirmServerTerminate Enter(CallCount : 0)"), 1u);
    // One check runs however many ask for it, yet each request is traced as
    // the start of a check.
    EXPECT_EQ(CountLines(debug, "[PI] ExitThread Enter"),
              CountLines(debug, "[PI] ConfirmServerTerminate() - Create Exit Thread"));
    EXPECT_EQ(CountLines(debug, "[PI] ExitThread End ( No More)"), 1u);
}

TEST_F(ServerLifecycleTest, NoClientMeansNoExitCheck) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    // Give a wrongly started check ample time to show itself.
    int exitCode = -1;
    EXPECT_FALSE(server->WaitForExit(3s, exitCode));
    EXPECT_EQ(server->DebugOutput().find("ExitThread"), std::string::npos);
}

// The client that sent EXIT has its answer before the process ends, however
// late it reads: the answer waits, unwritten or unread, while the stop is
// decided, and the process must wait for it.
TEST_F(ServerLifecycleTest, ExitIsAnsweredBeforeTheProcessEnds) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    platform::PipeConnection client;
    ASSERT_TRUE(Connect(client));
    Bytes expected(FillServersSendRoom(server->Id()), kSendRoomFiller);
    ASSERT_TRUE(WriteAll(client, EncodeRequest(u"@=EXIT")));
    ASSERT_TRUE(WaitForDebugText(*server, "[PI] Exit Pipe Thread1 End")) << server->DebugOutput();
    int exitCode = -1;
    EXPECT_FALSE(server->WaitForExit(2s, exitCode)) << "ended before its answer was read";
    expected.insert(expected.end(), {0, 0});
    Bytes received(expected.size(), 0xFF);  // Not what the answer brings.
    for (std::size_t have = 0, got = 1; have < received.size() && got > 0; have += got) {
        client.Read(received.data() + have, received.size() - have, got);
    }
    EXPECT_TRUE(received == expected) << "the answer did not come";
    EXPECT_TRUE(server->WaitForExit(kStartTimeout, exitCode)) << server->DebugOutput();
}

}  // namespace
}  // namespace mossvane::testing
