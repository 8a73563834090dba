// The server under hostile conditions of its POSIX surroundings: a reader of
// its output that goes away, and a process that runs out of descriptors.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pipe/pipe_constants.h"
#include "server_harness.h"
#include "wire/job_message.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {
namespace {

constexpr char16_t kAnswerCancel[] = u"[Result]\nRETURN=CANCEL\n";

class RobustnessTest : public ServerTest {
  protected:
    void TearDown() override {
        // A server still running (a failed test) must not outlive the test:
        // without a client ever seen it would never stop by itself.
        if (m_server) m_server->Kill();
        ServerTest::TearDown();
    }

    // Runs `script` in /bin/sh with "$0" naming the server, without a
    // display, so GETINFO is answered at once.
    std::unique_ptr<ChildProcess> StartScript(const std::string& script) {
        return ChildProcess::Start(
            "/bin/sh", {"-c", "unset DISPLAY WAYLAND_DISPLAY; " + script, ServerProgram()},
            folder());
    }

    // Starts the server and, once it takes clients, lets it open only `more`
    // descriptors besides those it holds (new ones take the lowest free
    // numbers, and the limit is one above the highest number allowed).
    bool StartWithDescriptorsToSpare(int more) {
        m_server = StartScript("exec \"$0\"");
        if (!m_server || !WaitForDebugText(*m_server, "LastError: 0")) return false;
        std::set<int> open;
        const std::string folder = "/proc/" + std::to_string(m_server->Id()) + "/fd";
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            open.insert(std::stoi(entry.path().filename().string()));
        }
        int number = 0;
        for (int spare = 0; spare < more; ++number) {
            if (open.count(number) == 0) ++spare;
        }
        const rlimit limit{static_cast<rlim_t>(number), static_cast<rlim_t>(number)};
        return prlimit(static_cast<pid_t>(m_server->Id()), RLIMIT_NOFILE, &limit, nullptr) == 0;
    }

    // A sanitizer's runtime needs descriptors of its own (to start a thread,
    // for one), so a server built with it can't be held to a count.
    static bool BuiltWithSanitizer() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        return true;
#else
        return false;
#endif
    }

    static std::string ServerProgram() {
        return ChildProcess::ProgramFolder() + "mossvane" + ChildProcess::ExecutableSuffix();
    }

    // Sends one request text and reads its answer up to the terminating null.
    static std::u16string Exchange(platform::PipeConnection& connection,
                                   std::u16string_view request) {
        std::vector<std::uint8_t> bytes = EncodeRequest(request);
        std::size_t written = 0;
        if (connection.Write(bytes.data(), bytes.size(), written) != platform::kSuccess) {
            return u"<write failed>";
        }
        std::vector<std::uint8_t> received;
        std::uint8_t buffer[kPipeBufferSize];
        while (received.size() < 2 || received.size() % 2 != 0 || received.back() != 0 ||
               received[received.size() - 2] != 0) {
            std::size_t got = 0;
            if (connection.Read(buffer, sizeof buffer, got) != platform::kSuccess) {
                return u"<connection ended>";
            }
            received.insert(received.end(), buffer, buffer + got);
        }
        std::u16string text;
        for (std::size_t i = 0; i + 1 < received.size(); i += 2) {
            const auto unit = static_cast<char16_t>(received[i] | (received[i + 1] << 8));
            if (unit == 0) break;
            text += unit;
        }
        return text;
    }

    // The answer to `request`, or a note when none came in time. A server
    // that doesn't answer is killed, which ends the blocked read.
    std::u16string ExchangeWithin(platform::PipeConnection& connection, std::u16string_view request,
                                  std::chrono::seconds timeout) {
        auto answer = std::async(std::launch::async,
                                 [&connection, request] { return Exchange(connection, request); });
        if (answer.wait_for(timeout) == std::future_status::ready) return answer.get();
        m_server->Kill();
        answer.wait();
        return u"<no answer>";
    }

    // Processor time the server used so far, in clock ticks.
    long ProcessorTicks() const {
        std::ifstream stat("/proc/" + std::to_string(m_server->Id()) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        long user = 0, system = 0;
        for (int index = 3; fields >> field; ++index) {
            if (index == 14) user = std::stol(field);
            if (index == 15) {
                system = std::stol(field);
                break;
            }
        }
        return user + system;
    }

    void StopServer() {
        platform::PipeConnection client;
        ASSERT_TRUE(Connect(client));
        ExchangeWithin(client, u"@=Exit", 30s);
        int exitCode = -1;
        ASSERT_TRUE(m_server->WaitForExit(30s, exitCode)) << m_server->DebugOutput();
        EXPECT_EQ(exitCode, 0) << m_server->DebugOutput();
    }

    std::unique_ptr<ChildProcess> m_server;
};

// A reader of the debug output that has gone (a pager quit early) leaves
// writes that fail; the server carries on and still ends with 0.
TEST_F(RobustnessTest, ServerOutlivesAClosedReaderOfItsOutput) {
    m_server = StartScript(
        "exec 3>&1; { \"$0\" 2>&1 >/dev/null 3>&-; echo \"status $?\" >&3; } | head -c5 "
        ">/dev/null");
    ASSERT_TRUE(m_server);
    auto status = [&] { return m_server->StandardOutput(); };
    platform::PipeConnection client;
    // Either the server takes a client, or it is already gone.
    ASSERT_TRUE(WaitUntil(
        [&] {
            return !status().empty() ||
                   platform::ConnectToPipe(UserPipeName(), client) == platform::kSuccess;
        },
        kStartTimeout));
    if (client.IsValid()) {
        EXPECT_EQ(Exchange(client, u"@=OpenUI"), u"");
        Exchange(client, u"@=Exit");
    }
    ASSERT_TRUE(WaitUntil([&] { return !status().empty(); }, 30s));
    EXPECT_EQ(status(), "status 0\n");
}

// With every descriptor taken, the turn event of a GETINFO can't be made:
// the request is answered all the same and the server lives on.
TEST_F(RobustnessTest, GetInfoIsAnsweredWhenNoTurnEventCanBeMade) {
    if (BuiltWithSanitizer()) GTEST_SKIP() << "descriptor counts differ under a sanitizer";
    ASSERT_TRUE(StartWithDescriptorsToSpare(2));
    platform::PipeConnection idle;
    ASSERT_TRUE(Connect(idle));
    ASSERT_TRUE(WaitForDebugLineCount(*m_server, "[PI]Plus Call Count", 1, 30s));
    platform::PipeConnection asking;
    ASSERT_TRUE(Connect(asking));
    EXPECT_EQ(ExchangeWithin(asking, u"@=GETINFO", 30s), kAnswerCancel) << m_server->DebugOutput();
    EXPECT_TRUE(WaitForDebugText(*m_server, "[PI]CreateEvent failed, GLE=", 30s));

    // The queue goes on: the next request gets its turn.
    asking.Close();
    platform::PipeConnection next;
    ASSERT_TRUE(Connect(next));
    EXPECT_EQ(ExchangeWithin(next, u"@=GETINFO", 30s), kAnswerCancel) << m_server->DebugOutput();
    next.Close();
    idle.Close();
    StopServer();
}

// Clients beyond the descriptor limit wait in the backlog: the listener
// says so once, pauses instead of spinning, serves the open connections
// and takes the waiting clients as descriptors come free.
TEST_F(RobustnessTest, AcceptFailuresPauseAndOpenConnectionsAreServed) {
    constexpr int kAccepted = 3;
    constexpr int kClients = kAccepted + 3;
    if (BuiltWithSanitizer()) GTEST_SKIP() << "descriptor counts differ under a sanitizer";
    ASSERT_TRUE(StartWithDescriptorsToSpare(kAccepted));
    std::vector<platform::PipeConnection> clients(kClients);
    for (auto& client : clients) ASSERT_TRUE(Connect(client));
    ASSERT_TRUE(WaitForDebugText(*m_server, "[PI]CreateNamedPipe failed, GLE=", 30s))
        << m_server->DebugOutput();

    const long ticksBefore = ProcessorTicks();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ExchangeWithin(clients[0], u"@=OpenUI", 30s), u"");
    std::this_thread::sleep_for(2s);  // A spinning listener shows over a while only.
    const double elapsedTicks =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() *
        static_cast<double>(sysconf(_SC_CLK_TCK));
    EXPECT_LT(static_cast<double>(ProcessorTicks() - ticksBefore), elapsedTicks * 0.2)
        << "the listener spins";
    EXPECT_EQ(CountOccurrences(m_server->DebugOutput(), "[PI]CreateNamedPipe failed"), 1u);

    // Descriptors come free: the waiting clients are taken and served.
    for (int i = 0; i < kAccepted; ++i) clients[i].Close();
    for (int i = kAccepted; i < kClients; ++i) {
        EXPECT_EQ(ExchangeWithin(clients[i], u"@=OpenUI", 30s), u"") << i;
    }
    clients.clear();
    StopServer();
}

}  // namespace
}  // namespace mossvane::testing
