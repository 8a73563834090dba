// Jobs the real server can't store, sent by each client there is: every one
// must tell its caller that the job was not stored, and nothing the job
// carried may end up in a file somebody else planted.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "job_client.h"
#include "mossvane/client.h"
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
constexpr std::uint32_t kPatientMs = 30000;

// The data of every job: some bytes, then the end-of-job marker.
Bytes JobData(std::size_t size) {
    Bytes data = PatternBytes(size, 3);
    data.insert(data.end(), std::begin(kEndOfJobMarker), std::end(kEndOfJobMarker));
    return data;
}

// "YYYYMMDDhhmmss" of a UTC moment, as job file names begin.
std::string UtcSeconds(std::time_t moment) {
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &moment);
#else
    gmtime_r(&moment, &parts);
#endif
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &parts);
    return text;
}

std::string JobFileStem(std::time_t moment, std::uint32_t number) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04u", number % 10000);
    return UtcSeconds(moment) + digits;
}

// Somebody else's file, with everyone's permissions, where the job's
// information file would go in each of the coming seconds.
struct PlantedFiles {
    std::vector<fs::path> paths;

    void Plant(const fs::path& folder, std::chrono::seconds ahead) {
        const std::time_t now = std::time(nullptr);
        for (std::time_t second = now - 1; second <= now + ahead.count(); ++second) {
            const fs::path path = folder / (JobFileStem(second, kJobNumber) + ".info");
            std::ofstream(path) << "planted";
            fs::permissions(path, fs::perms::all);
#ifndef _WIN32
            if (geteuid() == 0) {
                EXPECT_EQ(chown(path.c_str(), 65534, 65534), 0);
            }
#endif
            paths.push_back(path);
        }
    }

    void ExpectUntouched() const {
        for (const fs::path& path : paths) EXPECT_EQ(ReadFileBytes(path), "planted") << path;
    }
};

// A file system of its own for the job folder, too small for a job.
class SmallFileSystem {
  public:
    bool Mount(const fs::path& folder, const char* options) {
#ifndef _WIN32
        if (geteuid() != 0) return false;
        m_folder = folder;
        m_mounted = mount("tmpfs", folder.c_str(), "tmpfs", 0, options) == 0;
#else
        static_cast<void>(folder);
        static_cast<void>(options);
#endif
        return m_mounted;
    }
    ~SmallFileSystem() {
#ifndef _WIN32
        if (m_mounted) umount2(m_folder.c_str(), MNT_DETACH);
#endif
    }

  private:
    fs::path m_folder;
    bool m_mounted = false;
};

enum class Client { SendTool, Library };

const char* NameOf(Client client) {
    return client == Client::SendTool ? "mossvane-send" : "the client library";
}

struct StoreFault {
    const char* name;
    std::size_t dataSize;
    // Readies the job folder, or says why it can't here.
    std::function<std::string(const fs::path& folder, PlantedFiles& planted,
                              SmallFileSystem& fileSystem)>
        arrange;
    // The server noticed only after the whole job came: the library then
    // says exactly that the job was not stored (else it may also see the
    // connection end before it sent everything).
    bool failsAtTheEnd = false;
};

void PrintTo(const StoreFault& fault, std::ostream* out) {
    *out << fault.name;
}

class JobClientsTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        // No display: a job warning, where one comes, ends the connection at
        // once instead of waiting for somebody to close it.
        m_display = Unset("DISPLAY");
        m_waylandDisplay = Unset("WAYLAND_DISPLAY");
        m_server = StartServer();
        ASSERT_TRUE(m_server);
    }

    void TearDown() override {
        Restore("DISPLAY", m_display);
        Restore("WAYLAND_DISPLAY", m_waylandDisplay);
        ServerTest::TearDown();
    }

    fs::path FreshJobFolder(Client client) {
        const fs::path jobs = fs::path(folder()) / (std::string("jobs-") + NameOf(client));
        fs::create_directories(jobs);
        SetPrintFolder(jobs);
        return jobs;
    }

    // Sends the job and tells whether the client took it for stored; a
    // failure must be one that says so, not a time-out or a broken setup.
    bool ClientSaysStored(Client client, std::size_t dataSize, bool failsAtTheEnd) {
        const Bytes data = JobData(dataSize);
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
        const mossvane_status status = SendWithLibrary(data);
        if (failsAtTheEnd) {
            EXPECT_TRUE(status == MOSSVANE_OK || status == MOSSVANE_NOT_STORED) << status;
        } else {
            EXPECT_TRUE(status == MOSSVANE_OK || status == MOSSVANE_NOT_STORED ||
                        status == MOSSVANE_DISCONNECTED)
                << status;
        }
        return status == MOSSVANE_OK;
    }

  private:
    static mossvane_status SendWithLibrary(const Bytes& data) {
        mossvane_job* job = nullptr;
        mossvane_status status = mossvane_job_open(&job, kJobNumber, kPatientMs);
        if (status != MOSSVANE_OK) return status;
        status = mossvane_job_write(job, data.data(), data.size());
        if (status != MOSSVANE_OK) {
            mossvane_job_abort(job);
            return status;
        }
        const mossvane_job_info info[] = {{"PhoneNumber", kNumber}};
        return mossvane_job_end(job, info, 1, 0);
    }

    static std::optional<std::string> Unset(const char* name) {
        const char* value = std::getenv(name);
        if (value == nullptr) return std::nullopt;
        std::string kept = value;
#ifdef _WIN32
        _putenv_s(name, "");
#else
        unsetenv(name);
#endif
        return kept;
    }

    static void Restore(const char* name, const std::optional<std::string>& value) {
        if (!value) return;
#ifdef _WIN32
        _putenv_s(name, value->c_str());
#else
        setenv(name, value->c_str(), 1);
#endif
    }

    std::unique_ptr<ChildProcess> m_server;
    std::optional<std::string> m_display;
    std::optional<std::string> m_waylandDisplay;
};

// Another client that stores a job numbered like ours modulo 10000 early in
// every second, so that a job of ours in that second finds its name taken,
// however long our client takes to start (seconds, under Wine).
class RivalJobs {
  public:
    RivalJobs() : m_thread([this] { Run(); }) {}
    ~RivalJobs() {
        m_stop = true;
        m_thread.join();
    }

  private:
    void Run() {
        std::time_t last = 0;
        while (!m_stop) {
            const std::time_t now = std::time(nullptr);
            platform::PipeConnection rival;
            if (now != last &&
                platform::ConnectToPipe(UserPipeName(), rival) == platform::kSuccess &&
                WriteAll(rival, EncodeWholeJob(kJobNumber + 10000, JobData(10), u"a=1")) &&
                StoredByServer(rival)) {
                last = now;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Two jobs whose numbers agree modulo 10000, in one UTC second: the later
// one's name is taken. Our job may still come first in a second now and
// then, and is then stored under its own name; so it is tried again.
TEST_F(JobClientsTest, SecondJobOfTheSameNameInOneSecondIsReportedAsNotStored) {
    for (Client client : {Client::SendTool, Client::Library}) {
        SCOPED_TRACE(NameOf(client));
        const fs::path jobs = FreshJobFolder(client);
        bool collided = false;
        for (int attempt = 0; attempt < 5 && !collided; ++attempt) {
            for (const auto& file : fs::directory_iterator(jobs)) fs::remove(file.path());
            bool stored = false;
            {
                RivalJobs rival;
                stored = ClientSaysStored(client, 100, false);
            }
            // Ours is the one information file that holds the number.
            std::size_t ours = 0;
            for (const fs::path& info : FilesWithExtension(jobs, ".info")) {
                ours += ReadFileBytes(info).find(kNumber) != std::string::npos ? 1 : 0;
            }
            EXPECT_EQ(ours, stored ? 1u : 0u);
            collided = !stored;
        }
        EXPECT_TRUE(collided) << "our job came first in its second every time";
    }
}

class JobVerdictTest : public JobClientsTest, public ::testing::WithParamInterface<StoreFault> {};

TEST_P(JobVerdictTest, EveryClientReportsTheJobAsNotStored) {
    for (Client client : {Client::SendTool, Client::Library}) {
        SCOPED_TRACE(NameOf(client));
        const fs::path jobs = FreshJobFolder(client);
        PlantedFiles planted;
        SmallFileSystem fileSystem;
        if (const std::string why = GetParam().arrange(jobs, planted, fileSystem); !why.empty()) {
            GTEST_SKIP() << why;
        }
        EXPECT_FALSE(ClientSaysStored(client, GetParam().dataSize, GetParam().failsAtTheEnd));
        planted.ExpectUntouched();
        // No information file of the job's own, and nothing of the number
        // anywhere but where the server keeps it.
        EXPECT_EQ(FilesWithExtension(jobs, ".info").size(), planted.paths.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, JobVerdictTest,
    ::testing::Values(
        StoreFault{"InformationNamePlantedInASharedFolder", 100,
                   [](const fs::path& jobs, PlantedFiles& planted, SmallFileSystem&) {
                       fs::permissions(jobs, fs::perms::all | fs::perms::sticky_bit);
                       planted.Plant(jobs, std::chrono::seconds(60));
                       return std::string();
                   }},
        StoreFault{"FolderOutOfFileEntries", 100,
                   [](const fs::path& jobs, PlantedFiles&, SmallFileSystem& fileSystem) {
                       // The folder itself and the job file: no room for the
                       // information file.
                       return fileSystem.Mount(jobs, "size=1m,nr_inodes=2,mode=0700")
                                  ? std::string()
                                  : std::string("needs root to mount a file system");
                   },
                   true},
        StoreFault{"FolderOutOfSpace", 256 * 1024,
                   [](const fs::path& jobs, PlantedFiles&, SmallFileSystem& fileSystem) {
                       return fileSystem.Mount(jobs, "size=64k,mode=0700")
                                  ? std::string()
                                  : std::string("needs root to mount a file system");
                   }}),
    [](const ::testing::TestParamInfo<StoreFault>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mossvane::testing
