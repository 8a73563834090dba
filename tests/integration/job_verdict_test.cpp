// Jobs the real server can't store, sent by mossvane-send and by the client
// library: each must tell its caller that the job was not stored, and nothing
// the job carried may end up in a file somebody else planted.
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "job_client.h"
#include "mossvane/client.h"
#include "pipe/job_file.h"
#include "server_harness.h"
#include "wire/job_message.h"
#include "wire/pipe_name.h"

#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace mossvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kJobNumber = 4711;
constexpr char kNumber[] = "2718281828";

Bytes JobData(std::size_t size) {
    Bytes data = PatternBytes(size, 3);
    data.insert(data.end(), std::begin(kEndOfJobMarker), std::end(kEndOfJobMarker));
    return data;
}

// Another client that stores a job numbered like ours modulo 10000 early in
// every second, so that ours finds its name taken however long our client
// takes to start (seconds, under Wine).
class RivalJobs {
  public:
    // Returns once the rival's job of the current second is stored.
    RivalJobs() : m_thread([this] { Run(); }) {
        WaitUntil([this] { return m_last == std::time(nullptr); }, kStartTimeout);
    }
    ~RivalJobs() {
        m_stop = true;
        m_thread.join();
    }

  private:
    void Run() {
        for (; !m_stop; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
            const std::time_t now = std::time(nullptr);
            platform::PipeConnection rival;
            if (now != m_last &&
                platform::ConnectToPipe(UserPipeName(), rival) == platform::kSuccess &&
                WriteAll(rival, EncodeWholeJob(kJobNumber + 10000, JobData(10), u"a=1")) &&
                StoredByServer(rival)) {
                m_last = now;
            }
        }
    }

    std::atomic<bool> m_stop{false};
    std::atomic<std::time_t> m_last{0};
    std::thread m_thread;
};

// What a case did to the job folder, undone when it goes.
struct Arrangement {
    std::vector<fs::path> planted;
    std::optional<RivalJobs> rival;
    fs::path mounted;
    ~Arrangement() {
#ifndef _WIN32
        if (!mounted.empty()) umount2(mounted.c_str(), MNT_DETACH);
#endif
    }
};

struct StoreFault {
    const char* name;
    // Readies the job folder; the reason when it can't be done here.
    std::string (*arrange)(const fs::path& jobs, Arrangement& arrangement);
    // Only the server's failure end after the whole job can tell the library
    // (else the connection may break while it still sends).
    bool failsAtTheEnd = false;
};

void PrintTo(const StoreFault& fault, std::ostream* out) {
    *out << fault.name;
}

// Somebody else's file, open to everyone, at the information file's name of
// each second of the next minute.
std::string PlantInformationFiles(const fs::path& jobs, Arrangement& arrangement) {
    fs::permissions(jobs, fs::perms::all | fs::perms::sticky_bit);
    for (std::time_t second = std::time(nullptr) - 1, end = second + 60; second <= end; ++second) {
        const std::tm utc = *std::gmtime(&second);
        const auto part = [](int value) { return static_cast<std::uint16_t>(value); };
        const platform::UtcTime time{part(utc.tm_year + 1900), part(utc.tm_mon + 1),
                                     part(utc.tm_mday),        part(utc.tm_hour),
                                     part(utc.tm_min),         part(utc.tm_sec)};
        const fs::path path = jobs / (FormatJobFileName(time, kJobNumber) + u".info");
        std::ofstream(path) << "planted";
        fs::permissions(path, fs::perms::all);
#ifndef _WIN32
        if (geteuid() == 0) {
            EXPECT_EQ(chown(path.c_str(), 65534, 65534), 0) << path;
        }
#endif
        arrangement.planted.push_back(path);
    }
    return "";
}

// A file system of its own for the job folder.
std::string MountSmall(const fs::path& jobs, Arrangement& arrangement, const char* options) {
#ifndef _WIN32
    if (geteuid() == 0 && mount("tmpfs", jobs.c_str(), "tmpfs", 0, options) == 0) {
        arrangement.mounted = jobs;
        return "";
    }
#else
    static_cast<void>(jobs);
    static_cast<void>(arrangement);
    static_cast<void>(options);
#endif
    return "needs root on Linux to mount a file system";
}

enum class Client { SendTool, Library };

class JobVerdictTest : public ServerTest, public ::testing::WithParamInterface<StoreFault> {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        m_server = StartServer();
        ASSERT_TRUE(m_server);
    }

    // Sends the job; whether the client took it for stored. A failure must
    // be one that says so, not a time-out or a broken set-up.
    bool ClientSaysStored(Client client) {
        const Bytes data = JobData(100);
        if (client == Client::SendTool) {
            const std::string path = folder() + "/job.prn";
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(data.data()),
                       static_cast<std::streamsize>(data.size()));
            std::string output;
            const int status = RunSendTool({"job", "--number", std::to_string(kJobNumber), "--info",
                                            std::string("PhoneNumber=") + kNumber, path},
                                           &output);
            EXPECT_TRUE(status == 0 || status == 3) << status << ": " << output;
            return status == 0;
        }
        mossvane_job* job = nullptr;
        mossvane_status status = mossvane_job_open(&job, kJobNumber, 30000);
        EXPECT_EQ(status, MOSSVANE_OK);
        if (status != MOSSVANE_OK) return false;
        status = mossvane_job_write(job, data.data(), data.size());
        const mossvane_job_info info[] = {{"PhoneNumber", kNumber}};
        if (status == MOSSVANE_OK) {
            status = mossvane_job_end(job, info, 1, 0);
        } else {
            mossvane_job_abort(job);
        }
        EXPECT_TRUE(status == MOSSVANE_OK || status == MOSSVANE_NOT_STORED ||
                    (status == MOSSVANE_DISCONNECTED && !GetParam().failsAtTheEnd))
            << status;
        return status == MOSSVANE_OK;
    }

  private:
    std::unique_ptr<ChildProcess> m_server;
};

TEST_P(JobVerdictTest, EveryClientReportsTheJobAsNotStored) {
    for (Client client : {Client::SendTool, Client::Library}) {
        SCOPED_TRACE(client == Client::SendTool ? "mossvane-send" : "the client library");
        const fs::path jobs = fs::path(folder()) / (client == Client::SendTool ? "send" : "lib");
        SetPrintFolder(jobs);
        // Our job may still come first in its second now and then, before the
        // rival's: it is then stored under its own name, and tried again.
        bool stored = true;
        for (int attempt = 0; attempt < 5 && stored; ++attempt) {
            fs::remove_all(jobs);
            fs::create_directories(jobs);
            Arrangement arrangement;
            if (const std::string why = GetParam().arrange(jobs, arrangement); !why.empty()) {
                GTEST_SKIP() << why;
            }
            stored = ClientSaysStored(client);
            if (!arrangement.rival) {
                EXPECT_FALSE(stored);
            }
            std::size_t ours = 0;
            for (const fs::path& info : FilesWithExtension(jobs, ".info")) {
                ours += ReadFileBytes(info).find(kNumber) != std::string::npos ? 1 : 0;
            }
            // The number is in our information file or in none at all.
            EXPECT_EQ(ours, stored ? 1u : 0u);
            for (const fs::path& path : arrangement.planted) {
                EXPECT_EQ(ReadFileBytes(path), "planted") << path;
            }
        }
        EXPECT_FALSE(stored) << "our job came first in its second every time";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, JobVerdictTest,
    ::testing::Values(StoreFault{"SameNameInTheSameSecond",
                                 [](const fs::path&, Arrangement& arrangement) {
                                     arrangement.rival.emplace();
                                     return std::string();
                                 }},
                      StoreFault{"InformationNamePlantedInASharedFolder", PlantInformationFiles},
                      // Room for the folder and the job file, none for the information file.
                      StoreFault{"FolderOutOfFileEntries",
                                 [](const fs::path& jobs, Arrangement& arrangement) {
                                     return MountSmall(jobs, arrangement,
                                                       "size=1m,nr_inodes=2,mode=0700");
                                 },
                                 true}),
    [](const ::testing::TestParamInfo<StoreFault>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mossvane::testing
