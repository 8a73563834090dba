// Stops that lose nothing, against the real server. Each race is made
// deterministic: SIGSTOP holds the whole server while clients queue up, and
// a full pipe on its debugger output holds each thread right at the next
// trace line it writes, so the test decides the order in which the threads
// of the server go on.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <mutex>
#include <sstream>
#include <thread>

#include "job_client.h"
#include "pipe/job_spool.h"
#include "pipe/pipe_constants.h"
#include "pipe/stale_temporaries.h"
#include "service_test_support.h"
#include "support/temp_folder.h"
#include "wire/job_message.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {
namespace {

namespace fs = std::filesystem;

// The server's debugger output through a pipe that the test reads. While
// the test does not read and has filled the pipe, every thread of the server
// that writes a trace line blocks right there.
class TracePipe {
  public:
    TracePipe() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
        m_read = fds[0];
        // One page: little to fill.
        fcntl(m_read, F_SETPIPE_SZ, 4096);
        // The server's end blocks; a description of its own lets the test
        // fill the pipe without blocking.
        m_childEnd = fcntl(fds[1], F_DUPFD, 10);
        fcntl(m_childEnd, F_SETFL, 0);
        m_fill = open(("/proc/self/fd/" + std::to_string(fds[1])).c_str(),
                      O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        close(fds[1]);
        m_reader = std::thread([this] { Read(); });
    }

    ~TracePipe() {
        m_stop = true;
        m_reader.join();
        CloseChildEnd();
        close(m_fill);
        close(m_read);
    }

    TracePipe(const TracePipe&) = delete;
    TracePipe& operator=(const TracePipe&) = delete;

    // Inherited by the server as its standard error.
    int ChildEnd() const { return m_childEnd; }
    void CloseChildEnd() {
        if (m_childEnd >= 0) close(m_childEnd);
        m_childEnd = -1;
    }

    std::string Text() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_text;
    }

    // Stops reading and fills what room is left.
    void PauseAndFill() {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_paused = true;
        }
        const char filler[256] = {};
        while (write(m_fill, filler, sizeof filler) > 0) {
        }
        while (write(m_fill, filler, 1) > 0) {
        }
    }

    void Resume() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_paused = false;
    }

  private:
    void Read() {
        char buffer[4096];
        while (!m_stop) {
            pollfd entry{m_read, POLLIN, 0};
            poll(&entry, 1, 20);
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_paused) continue;
            ssize_t got = 0;
            while ((got = read(m_read, buffer, sizeof buffer)) > 0) {
                // The filler is null bytes, which no trace line holds.
                for (ssize_t i = 0; i < got; ++i) {
                    if (buffer[i] != '\0') m_text += buffer[i];
                }
            }
        }
    }

    int m_read = -1;
    int m_childEnd = -1;
    int m_fill = -1;
    std::mutex m_mutex;
    std::string m_text;
    bool m_paused = false;
    std::atomic<bool> m_stop{false};
    std::thread m_reader;
};

std::string ReadText(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Threads of the process blocked in write(2) on its standard error.
int ThreadsWritingTrace(std::uint32_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    int writing = 0;
    std::error_code error;
    for (const auto& task : fs::directory_iterator(tasks, error)) {
        std::istringstream call(ReadText(task.path().string() + "/syscall"));
        std::string number;
        std::string firstArgument;
        call >> number >> firstArgument;
        if (number == "1" && firstArgument == "0x2") ++writing;
    }
    return writing;
}

// Whether the (single-threaded) process waits for its socket: in read(2) on
// it, or in poll(2).
bool IsReadingSocket(std::uint32_t pid) {
    const std::string process = "/proc/" + std::to_string(pid);
    std::istringstream call(ReadText(process + "/syscall"));
    std::string number;
    std::string fd;
    call >> number >> fd;
    // Waiting in poll: the sender polls its socket alone once it is connected.
    if (number == "7" || number == "271") return true;
    if (number != "0" || fd.rfind("0x", 0) != 0) return false;
    std::error_code error;
    const fs::path target =
        fs::read_symlink(process + "/fd/" + std::to_string(std::stoul(fd, nullptr, 16)), error);
    return !error && target.string().rfind("socket:", 0) == 0;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

constexpr std::uint32_t kJobNumber = 27;
constexpr char16_t kJobInformation[] = u"Title=race";

Bytes PrintData() {
    Bytes data = PatternBytes(20000, 5);
    data.insert(data.end(), kEndOfJobMarker, kEndOfJobMarker + kEndOfJobMarkerSize);
    return data;
}

// The job's messages up to, and without, END_JOB_CMD.
Bytes JobWithoutItsEnd() {
    Bytes whole = EncodeWholeJob(kJobNumber, PrintData(), kJobInformation);
    whole.resize(whole.size() - EncodeEndJob(kJobInformation).size());
    return whole;
}

Bytes EndOfJob() {
    return EncodeEndJob(kJobInformation);
}

// True when the server ended the connection in order: everything sent was
// taken, and nothing came back.
bool EndedInOrder(platform::PipeConnection& connection) {
    std::uint8_t byte = 0;
    std::size_t got = 0;
    return connection.Read(&byte, 1, got) == platform::kBrokenPipe;
}

class StopRaceTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        m_jobs = fs::path(folder()) / "jobs";
        fs::create_directories(m_jobs);
        SetPrintFolder(m_jobs);
    }

    // A server whose debugger output is m_trace.
    void StartTracedServer() {
        std::string program = ChildProcess::ProgramFolder() + "mossvane";
        // Opened by name: the shell takes only single-digit descriptors.
        m_server = ChildProcess::Start(
            "/bin/sh",
            {"-c", "exec " + program + " 2>/proc/self/fd/" + std::to_string(m_trace.ChildEnd())},
            folder());
        m_trace.CloseChildEnd();
        ASSERT_TRUE(m_server);
        ASSERT_TRUE(WaitUntil([] { return PathExists(SocketPath()); }, kStartTimeout));
    }

    // Once a client was served the socket surely listens: a server stopped
    // between making its socket file and listening would refuse clients.
    void StartPlainServer() {
        m_server = StartServer();
        ASSERT_TRUE(m_server);
        platform::PipeConnection first;
        ASSERT_TRUE(Connect(first));
        ASSERT_TRUE(ExchangeQuickRequest(first));
    }

    void Signal(int signalNumber) {
        ASSERT_EQ(kill(static_cast<pid_t>(m_server->Id()), signalNumber), 0);
    }

    // A client queued in the socket while the server is stopped.
    void ConnectQueued(platform::PipeConnection& client, const Bytes& bytes) {
        ASSERT_EQ(platform::ConnectToPipe(UserPipeName(), client), platform::kSuccess);
        ASSERT_TRUE(WriteAll(client, bytes));
    }

    bool WaitForTrace(std::string_view text) {
        return WaitUntil([&] { return m_trace.Text().find(text) != std::string::npos; },
                         kStartTimeout);
    }

    std::string Trace() { return m_server ? m_trace.Text() + m_server->DebugOutput() : ""; }

    // The job is there whole, with its information, and nothing else is.
    void ExpectJobStored() {
        std::vector<fs::path> prn = FilesWithExtension(m_jobs, ".prn");
        std::vector<fs::path> info = FilesWithExtension(m_jobs, ".info");
        ASSERT_EQ(prn.size(), 1u) << Trace();
        ASSERT_EQ(info.size(), 1u) << Trace();
        const Bytes data = PrintData();
        EXPECT_EQ(ReadFileBytes(prn.front()), std::string(data.begin(), data.end()));
        EXPECT_NE(ReadFileBytes(info.front()).find("<Title>race</Title>"), std::string::npos);
        EXPECT_EQ(std::distance(fs::directory_iterator(m_jobs), fs::directory_iterator()), 2)
            << "no temporary file may be left";
    }

    void ExpectServerEnds() {
        int exitCode = -1;
        ASSERT_TRUE(m_server->WaitForExit(kStartTimeout, exitCode)) << Trace();
        EXPECT_EQ(exitCode, 0);
    }

    TracePipe m_trace;
    std::unique_ptr<ChildProcess> m_server;
    fs::path m_jobs;
};

// The exit check finds no connection in its last pass while the listener
// has just taken a job and not yet counted it: the stop is decided, and the
// job must be served to its end all the same.
TEST_F(StopRaceTest, JobTakenAsTheIdleStopIsDecidedIsServed) {
    StartTracedServer();
    {
        platform::PipeConnection first;
        ASSERT_TRUE(Connect(first));
        ASSERT_TRUE(ExchangeQuickRequest(first));
    }
    ASSERT_TRUE(WaitUntil(
        [&] { return CountLines(m_trace.Text(), "[PI] ExitThread (CallCount : 0)") >= 9; },
        kIdleStopTimeout))
        << Trace();
    const auto ninthPass = std::chrono::steady_clock::now();
    Signal(SIGSTOP);
    ASSERT_EQ(m_trace.Text().find("( No More)"), std::string::npos)
        << "the server could not be stopped before its last pass";

    m_trace.PauseAndFill();
    platform::PipeConnection job;
    ConnectQueued(job, JobWithoutItsEnd());
    // The last pass falls due while the server is stopped.
    std::this_thread::sleep_until(ninthPass + std::chrono::milliseconds(1500));
    Signal(SIGCONT);
    // The listener, before it counts the job, and the check, after it found
    // no connection, both wait to write their trace lines.
    ASSERT_TRUE(WaitUntil([&] { return ThreadsWritingTrace(m_server->Id()) >= 2; }, kStartTimeout));
    m_trace.Resume();

    ASSERT_TRUE(WaitForTrace("[PI] Exit Pipe Thread1 End")) << Trace();
    EXPECT_NE(m_trace.Text().find("[PI] ExitThread End ( No More)"), std::string::npos);
    ASSERT_TRUE(WriteAll(job, EndOfJob())) << Trace();
    EXPECT_TRUE(EndedInOrder(job)) << Trace();
    ExpectJobStored();
    ExpectServerEnds();
}

// EXIT arrives while a job is on its way: the job is stored whole before
// the process ends, whether its end comes before the stop or after it.
class ExitRaceTest : public StopRaceTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ExitRaceTest, JobInProgressIsStoredWhole) {
    const bool endAfterTheStop = GetParam();
    StartPlainServer();
    Signal(SIGSTOP);
    platform::PipeConnection job;
    Bytes queued = JobWithoutItsEnd();
    if (!endAfterTheStop) queued = Concat({queued, EndOfJob()});
    ConnectQueued(job, queued);
    platform::PipeConnection exit;
    ConnectQueued(exit, EncodeRequest(u"@=EXIT"));
    Signal(SIGCONT);

    ASSERT_TRUE(WaitForDebugText(*m_server, "[PI] Exit Pipe Thread1 End")) << Trace();
    if (endAfterTheStop) {
        ASSERT_TRUE(WriteAll(job, EndOfJob())) << Trace();
    }
    EXPECT_TRUE(EndedInOrder(job)) << Trace();
    ExpectJobStored();
    ExpectServerEnds();
    // The EXIT connection is still open, but only a job is waited for.
    EXPECT_EQ(Trace().find("[PI] Stopping with"), std::string::npos) << Trace();
}

INSTANTIATE_TEST_SUITE_P(JobEnd, ExitRaceTest, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "AfterTheStop" : "QueuedWithTheExit");
});

// A sender is told when its job may be lost: the server is killed with the
// job still unread.
TEST_F(StopRaceTest, SenderReportsAJobTheServerNeverTook) {
    StartPlainServer();
    Signal(SIGSTOP);
    const std::string data = folder() + "/data.prn";
    std::ofstream(data, std::ios::binary) << std::string(30000, 'x');
    auto sender = ChildProcess::Start(ChildProcess::ProgramFolder() + "mossvane-send",
                                      {"job", "--add-uel", data}, folder());
    ASSERT_TRUE(sender);
    // Everything is written; it waits for the server to end the connection.
    ASSERT_TRUE(WaitUntil([&] { return IsReadingSocket(sender->Id()); }, kStartTimeout))
        << sender->DebugOutput();
    m_server->Kill();

    int exitCode = -1;
    ASSERT_TRUE(sender->WaitForExit(kStartTimeout, exitCode));
    EXPECT_EQ(exitCode, 3);
    EXPECT_NE(sender->DebugOutput().find("the server ended the job early"), std::string::npos)
        << sender->DebugOutput();
}

// A temporary information file that a killed process left is removed with
// the next job in its folder; one young enough to be a write in progress
// stays.
TEST_F(StopRaceTest, NextJobRemovesStaleTemporaries) {
    const fs::path stale = m_jobs / "202612072158030012.info.k3Xq9Z";
    const fs::path young = m_jobs / "202612072158030013.info.p0Lm2W";
    for (const fs::path& path : {stale, young}) std::ofstream(path) << "<?xml";
    fs::last_write_time(
        stale, fs::file_time_type::clock::now() - kStaleTemporaryAge - std::chrono::seconds(60));
    StartPlainServer();
    platform::PipeConnection job;
    ASSERT_TRUE(Connect(job));
    ASSERT_TRUE(WriteAll(job, Concat({JobWithoutItsEnd(), EndOfJob()})));
    EXPECT_TRUE(EndedInOrder(job)) << Trace();
    EXPECT_FALSE(fs::exists(stale)) << Trace();
    EXPECT_TRUE(fs::exists(young));
}

}  // namespace
}  // namespace mossvane::testing
