// The real server under load, faults and bad input: many clients at once,
// clients that vanish mid-job, a data folder that can't take files, and
// clients that send garbage. Counts and durations are bounded, and every
// wait has a deadline.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "job_client.h"
#include "pipe/pipe_constants.h"
#include "server_harness.h"
#include "wire/job_message.h"

#ifndef _WIN32
#include <stdlib.h>
#endif
#include <functional>

namespace mossvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kJobClients = 200;
constexpr std::size_t kJobSize = 1u << 20;
constexpr int kRequestClients = 500;
constexpr int kGarbageClients = 50;
constexpr auto kGarbageDuration = 20s;

const Bytes kMarker(kEndOfJobMarker, kEndOfJobMarker + kEndOfJobMarkerSize);

// Print data of the given size that ends with the end-of-job marker.
Bytes JobData(std::size_t size, std::uint8_t seed) {
    Bytes data = PatternBytes(size - kMarker.size(), seed);
    data.insert(data.end(), kMarker.begin(), kMarker.end());
    return data;
}

// Runs `work(i)` for i in [0, count) on threads of their own, all at once.
void RunConcurrently(int count, const std::function<void(int)>& work) {
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (int i = 0; i < count; ++i) threads.emplace_back(work, i);
    for (auto& thread : threads) thread.join();
}

// A request that changes nothing and is answered at once.
bool RequestAnswered(platform::PipeConnection& client) {
    const Bytes request = EncodeRequest(u"@=OpenUI");
    if (!WriteAll(client, request)) return false;
    std::uint8_t answer[kPipeBufferSize];
    std::size_t got = 0;
    return client.Read(answer, sizeof answer, got) == platform::kSuccess && got == 2 &&
           answer[0] == 0 && answer[1] == 0;
}

class LoadTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        m_jobs = fs::path(folder()) / "jobs";
        fs::create_directory(m_jobs);
        SetPrintFolder(m_jobs);
    }

    void StartTheServer() {
        m_server = StartServer();
        ASSERT_TRUE(m_server);
    }

    bool ServesARequest() {
        platform::PipeConnection client;
        return Connect(client) && RequestAnswered(client);
    }

    // Garbage of every kind until the deadline: requests without a
    // terminator, job headers with wrong markers, lengths and commands, and
    // whatever else chance makes.
    void SendGarbageUntil(std::chrono::steady_clock::time_point deadline, unsigned seed) {
        std::mt19937 random(seed);
        while (std::chrono::steady_clock::now() < deadline) {
            platform::PipeConnection client;
            if (!Connect(client, 5s)) continue;
            Bytes garbage(1 + random() % (2 * kPipeBufferSize));
            for (auto& byte : garbage) byte = static_cast<std::uint8_t>(random());
            // Half of them look like job messages, so the framing is exercised.
            if (random() % 2) garbage[0] = kJobMarker;
            WriteAll(client, garbage);
        }
    }

    // The end of the server's debugger output, for failure messages.
    std::string DebugTail() const {
        const std::string debug = m_server->DebugOutput();
        return debug.substr(debug.size() - std::min<std::size_t>(debug.size(), 4000));
    }

    const fs::path& jobs() const { return m_jobs; }
    ChildProcess& server() { return *m_server; }

  private:
    fs::path m_jobs;
    std::unique_ptr<ChildProcess> m_server;
};

TEST_F(LoadTest, ManyJobsAtOnceAreAllStoredByteForByte) {
    StartTheServer();
    std::atomic<int> sent = 0;
    RunConcurrently(kJobClients, [&](int i) {
        platform::PipeConnection client;
        const Bytes job = EncodeWholeJob(static_cast<std::uint32_t>(i + 1),
                                         JobData(kJobSize, static_cast<std::uint8_t>(i)),
                                         u"Client=" + std::u16string(1, u'A' + i % 26));
        if (Connect(client) && WriteAll(client, job) && StoredByServer(client)) ++sent;
    });
    ASSERT_EQ(sent, kJobClients);

    const auto jobFiles = FilesWithExtension(jobs(), ".prn");
    ASSERT_EQ(jobFiles.size(), static_cast<std::size_t>(kJobClients));
    EXPECT_EQ(FilesWithExtension(jobs(), ".info").size(), static_cast<std::size_t>(kJobClients));
    for (const fs::path& file : jobFiles) {
        // The last four digits of the name are the job number, which says
        // what the file must hold.
        const int number = std::stoi(file.stem().string().substr(14));
        const Bytes expected = JobData(kJobSize, static_cast<std::uint8_t>(number - 1));
        EXPECT_EQ(ReadFileBytes(file), std::string(expected.begin(), expected.end())) << file;
    }
}

TEST_F(LoadTest, ManyConcurrentRequestsAreAllAnswered) {
    StartTheServer();
    std::atomic<int> answered = 0;
    RunConcurrently(kRequestClients, [&](int) {
        platform::PipeConnection client;
        if (Connect(client) && RequestAnswered(client)) ++answered;
    });
    EXPECT_EQ(answered, kRequestClients) << server().StandardOutput();
}

TEST_F(LoadTest, ClientGoneMidJobLeavesAPartialJobAndTheServerStops) {
    StartTheServer();
    const Bytes data = JobData(100 * kMaxJobPayload, 3);
    Bytes job = EncodeWholeJob(42, data, u"Title=Half");
    {
        platform::PipeConnection client;
        ASSERT_TRUE(Connect(client));
        // Half the job, then the client is gone.
        job.resize(job.size() / 2);
        ASSERT_TRUE(WriteAll(client, job));
    }
    EXPECT_TRUE(WaitForDebugText(server(), "[PI] ConfirmServerTerminate Enter(CallCount : 0)"))
        << server().DebugOutput();
    int exitCode = -1;
    ASSERT_TRUE(server().WaitForExit(kIdleStopTimeout, exitCode));
    EXPECT_EQ(exitCode, 0);

    const auto jobFiles = FilesWithExtension(jobs(), ".prn");
    ASSERT_EQ(jobFiles.size(), 1u);
    const std::string stored = ReadFileBytes(jobFiles[0]);
    EXPECT_GT(stored.size(), 0u);
    EXPECT_LT(stored.size(), data.size());
    EXPECT_EQ(stored, std::string(data.begin(), data.begin() + stored.size()));
    EXPECT_TRUE(FilesWithExtension(jobs(), ".info").empty());
}

TEST_F(LoadTest, DataFolderThatCannotTakeFilesEndsTheJobAndTheNextClientIsServed) {
    // A file where the folder should be refuses new files even to root.
    const fs::path notAFolder = fs::path(folder()) / "not-a-folder";
    std::ofstream(notAFolder) << "x";
    SetPrintFolder(notAFolder);
    StartTheServer();

    platform::PipeConnection client;
    ASSERT_TRUE(Connect(client));
    ASSERT_TRUE(WriteAll(client, EncodeWholeJob(9, JobData(5000, 1), u"Title=Lost")));
    EXPECT_EQ(WaitForServerEnd(client), ServerEnd::AsFailure);
    EXPECT_TRUE(WaitForDebugText(server(), "[PI][Pipe - InstanceThread]Job is created : "));
    EXPECT_TRUE(ServesARequest());
    EXPECT_EQ(ReadFileBytes(notAFolder), "x");
}

#ifndef _WIN32

// Open descriptors and threads of a process, read from /proc.
struct ProcessCounts {
    std::size_t descriptors = 0;
    long threads = 0;
};

ProcessCounts CountsOf(std::uint32_t pid) {
    ProcessCounts counts;
    const fs::path proc = "/proc/" + std::to_string(pid);
    std::error_code error;
    for (auto it = fs::directory_iterator(proc / "fd", error); !error && it != fs::end(it);
         it.increment(error)) {
        ++counts.descriptors;
    }
    std::ifstream status(proc / "status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Threads:", 0) == 0) counts.threads = std::stol(line.substr(8));
    }
    return counts;
}

bool operator==(const ProcessCounts& a, const ProcessCounts& b) {
    return a.descriptors == b.descriptors && a.threads == b.threads;
}

// The counts once they have stayed the same for five polls in a row, so a
// thread that has said its last line is really gone.
ProcessCounts SteadyCountsOf(std::uint32_t pid) {
    ProcessCounts last = CountsOf(pid);
    int same = 0;
    WaitUntil(
        [&] {
            const ProcessCounts now = CountsOf(pid);
            same = now == last ? same + 1 : 0;
            last = now;
            return same >= 5;
        },
        kStartTimeout);
    return last;
}

// A thread whose client has gone waits a moment for the next one; once
// none follows it ends, and the server holds the threads it had before the
// first client.
TEST_F(LoadTest, ThreadsOfClientsOneAfterAnotherEndWhenNoneFollow) {
    constexpr std::size_t kClients = 20;
    SetIsPreparing(1);  // keeps the server up once its checks end
    StartTheServer();
    const long before = SteadyCountsOf(server().Id()).threads;

    for (std::size_t served = 1; served <= kClients; ++served) {
        ASSERT_TRUE(ServesARequest()) << DebugTail();
    }
    ASSERT_TRUE(
        WaitForDebugLineCount(server(), "[PI]InstanceThread exitting..", kClients, kStartTimeout));
    EXPECT_TRUE(WaitUntil([&] { return CountsOf(server().Id()).threads == before; }, kStartTimeout))
        << "threads " << CountsOf(server().Id()).threads << " (before the first client " << before
        << ")";
}

TEST_F(LoadTest, GarbageFromManyClientsLeavesTheServerServingAndIdleAgain) {
    // Without a display a job warning can't block a connection.
    unsetenv("DISPLAY");
    StartTheServer();
    ASSERT_TRUE(ServesARequest());
    ASSERT_TRUE(WaitForDebugText(server(), "[PI]InstanceThread exitting.."));
    const ProcessCounts idle = SteadyCountsOf(server().Id());

    const auto deadline = std::chrono::steady_clock::now() + kGarbageDuration;
    RunConcurrently(kGarbageClients, [&](int i) { SendGarbageUntil(deadline, i + 1); });

    int exitCode = -1;
    ASSERT_FALSE(server().WaitForExit(0ms, exitCode)) << "ended with " << exitCode << DebugTail();
    EXPECT_TRUE(ServesARequest()) << DebugTail();
    EXPECT_TRUE(WaitUntil(
        [&] {
            const ProcessCounts now = CountsOf(server().Id());
            // A server that stopped has no threads at all.
            return now.threads >= 1 && now.threads <= idle.threads &&
                   now.descriptors <= idle.descriptors;
        },
        kStartTimeout))
        << "descriptors " << CountsOf(server().Id()).descriptors << " (idle " << idle.descriptors
        << "), threads " << CountsOf(server().Id()).threads;
}

#endif

}  // namespace
}  // namespace mossvane::testing
