// The backend under a real CUPS scheduler: a private cupsd runs it as root
// for jobs of the test user ("nobody"), whose server runs in a private
// runtime folder, as that user, without a display.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "child_process.h"
#include "pipe/pipe_constants.h"
#include "private_cups.h"
#include "server_harness.h"
#include "test_process.h"

namespace mossvane::cups::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using mossvane::testing::ChildProcess;
using mossvane::testing::kStartTimeout;
using mossvane::testing::WaitUntil;

constexpr char kTestUser[] = "nobody";
constexpr char kQueue[] = "mossvane";
constexpr char kPinQueue[] = "mossvane-pin";
constexpr auto kJobTimeout = 60s;

std::string Marker() {
    return std::string(reinterpret_cast<const char*>(kEndOfJobMarker), kEndOfJobMarkerSize);
}

// Print data of any bytes, nulls included, longer than two pieces.
std::string PrintData(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 31 + 7) % 256);
    return data;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<fs::path> FilesWithExtension(const fs::path& folder, const std::string& extension) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().extension() == extension) files.push_back(it->path());
    }
    return files;
}

bool LogHas(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

class CupsQueueTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_skipReason = PrivateCups::WhyUnavailable();
        passwd* user = getpwnam(kTestUser);
        if (s_skipReason.empty() && user == nullptr) s_skipReason = "no user \"nobody\"";
        if (!s_skipReason.empty()) return;
        s_uid = user->pw_uid;
        s_gid = user->pw_gid;

        char pattern[] = "/tmp/mossvane-cups-XXXXXX";
        s_base = new fs::path(mkdtemp(pattern));
        // The test user must reach its folders inside.
        fs::permissions(*s_base, fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
        CopyServer();
        fs::create_directories(RuntimeRoot());
        MakeUserFolder(UserRuntime());

        s_cups = new PrivateCups(*s_base / "cups",
                                 ChildProcess::ProgramFolder() + "mossvane-cups-backend",
                                 {"MOSSVANE_CUPS_RUNTIME_ROOT=" + RuntimeRoot().string()});
        s_setupError = s_cups->Start();
        if (s_setupError.empty()) s_setupError = s_cups->AddQueue(kQueue, "mossvane:/");
        if (s_setupError.empty()) {
            s_setupError = s_cups->AddQueue(kPinQueue, "mossvane:/?pin=ask");
        }
    }

    static void TearDownTestSuite() {
        delete s_cups;
        s_cups = nullptr;
        if (s_base) {
            std::error_code ignored;
            fs::remove_all(*s_base, ignored);
            delete s_base;
            s_base = nullptr;
        }
    }

    void SetUp() override {
        if (!s_skipReason.empty()) GTEST_SKIP() << s_skipReason;
        ASSERT_EQ(s_setupError, "");
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_home = *s_base / ("home-" + name);
        MakeUserFolder(m_home);
        MakeUserFolder(m_home / "config");
        MakeUserFolder(m_home / "data");
    }

    void TearDown() override {
        if (m_server) m_server->Stop(10s);
    }

    static fs::path RuntimeRoot() { return *s_base / "run"; }
    static fs::path UserRuntime() { return RuntimeRoot() / std::to_string(s_uid); }
    fs::path DataFolder() const { return m_home / "data"; }

    // Starts the server as the test user, without a display, and waits for
    // its socket.
    void StartServer() {
        ProcessOptions options;
        options.arguments = {"mossvane"};
        options.environment = {"XDG_RUNTIME_DIR=" + UserRuntime().string(),
                               "XDG_CONFIG_HOME=" + (m_home / "config").string(),
                               "XDG_DATA_HOME=" + DataFolder().string(),
                               "MOSSVANE_MACHINE_REG=" + (m_home / "machine.reg").string(),
                               "HOME=" + m_home.string(),
                               "LANG=C"};
        options.uid = s_uid;
        options.gid = s_gid;
        options.output = (m_home / "server.out").string();
        m_server = Process::Start((*s_base / "bin/mossvane").string(), options);
        ASSERT_NE(m_server, nullptr);
        fs::path socket = UserRuntime() / (std::string("Mossvane_") + kTestUser);
        ASSERT_TRUE(WaitUntil([&] { return fs::exists(socket); }, kStartTimeout))
            << ReadFile(options.output);
    }

    std::string ServerOutput() const { return ReadFile((m_home / "server.out").string()); }

    int Print(const char* queue, const std::string& title, const std::string& data) {
        fs::path file = m_home / "input.bin";
        WriteFile(file, data);
        std::string output;
        int jobId = s_cups->Print(queue, kTestUser, title, file.string(), output);
        EXPECT_NE(jobId, 0) << output;
        return jobId;
    }

    // Runs the backend as CUPS would, without CUPS.
    int RunBackend(const std::vector<std::string>& arguments, const std::string& input,
                   std::optional<uid_t> uid, std::string& output) {
        ProcessOptions options;
        options.arguments = {"mossvane:/"};
        options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
        options.environment = {"DEVICE_URI=mossvane:/",
                               "MOSSVANE_CUPS_RUNTIME_ROOT=" + RuntimeRoot().string()};
        options.uid = uid;
        options.gid = s_gid;
        options.input = input;
        return RunToEnd(ChildProcess::ProgramFolder() + "mossvane-cups-backend", options, output,
                        kJobTimeout);
    }

    static PrivateCups* s_cups;

  private:
    // The server and its companions, where the test user may run them.
    static void CopyServer() {
        fs::create_directories(*s_base / "bin");
        for (const char* file : {"mossvane", "mossvane-dialog", "localization.xml"}) {
            fs::path built = ChildProcess::ProgramFolder() + file;
            if (fs::exists(built)) fs::copy_file(built, *s_base / "bin" / file);
        }
    }

    static void MakeUserFolder(const fs::path& folder) {
        fs::create_directories(folder);
        ASSERT_EQ(chown(folder.c_str(), s_uid, s_gid), 0);
        ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    }

    static std::string s_skipReason;
    static std::string s_setupError;
    static fs::path* s_base;
    static uid_t s_uid;
    static gid_t s_gid;

    fs::path m_home;
    std::unique_ptr<Process> m_server;
};

PrivateCups* CupsQueueTest::s_cups = nullptr;
std::string CupsQueueTest::s_skipReason;
std::string CupsQueueTest::s_setupError;
fs::path* CupsQueueTest::s_base = nullptr;
uid_t CupsQueueTest::s_uid = 0;
gid_t CupsQueueTest::s_gid = 0;

TEST_F(CupsQueueTest, PrintedFileArrivesInTheUsersJobFolder) {
    StartServer();
    std::string data = PrintData(10000);
    int jobId = Print(kQueue, "Quarterly report", data);

    BackendEnd end = s_cups->WaitForBackendEnd(jobId, kJobTimeout);
    std::vector<std::string> log = s_cups->JobLog(jobId);
    ASSERT_TRUE(end.ended) << JoinLines(log);
    EXPECT_EQ(end.status, 0) << JoinLines(log);
    EXPECT_TRUE(LogHas(log, "Acting for nobody as uid " +
                                std::to_string(getpwnam(kTestUser)->pw_uid) + ", euid " +
                                std::to_string(getpwnam(kTestUser)->pw_uid)))
        << JoinLines(log);

    ASSERT_TRUE(
        WaitUntil([&] { return !FilesWithExtension(DataFolder(), ".info").empty(); }, kJobTimeout))
        << ServerOutput();
    std::vector<fs::path> jobs = FilesWithExtension(DataFolder(), ".prn");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(ReadFile(jobs[0].string()), data + Marker());
    std::string info = ReadFile(FilesWithExtension(DataFolder(), ".info")[0].string());
    EXPECT_NE(info.find("<User>nobody</User>"), std::string::npos) << info;
    EXPECT_NE(info.find("<Title>Quarterly report</Title>"), std::string::npos) << info;
    EXPECT_NE(info.find("<Copies>1</Copies>"), std::string::npos) << info;
    EXPECT_NE(info.find("<JobId>" + std::to_string(jobId) + "</JobId>"), std::string::npos) << info;
    EXPECT_NE(info.find("<Options>"), std::string::npos) << info;
    EXPECT_EQ(info.find("PhoneNumber"), std::string::npos) << info;
}

TEST_F(CupsQueueTest, NumberRequestWithoutDisplayCancelsTheJob) {
    StartServer();
    int jobId = Print(kPinQueue, "Needs a number", PrintData(500));

    BackendEnd end = s_cups->WaitForBackendEnd(jobId, kJobTimeout);
    std::vector<std::string> log = s_cups->JobLog(jobId);
    ASSERT_TRUE(end.ended) << JoinLines(log);
    EXPECT_EQ(end.status, 5) << JoinLines(log);
    EXPECT_TRUE(LogHas(log, "No identification number was given")) << JoinLines(log);
    EXPECT_FALSE(s_cups->IsPending(kPinQueue, jobId));
    EXPECT_TRUE(FilesWithExtension(DataFolder(), ".prn").empty());
    EXPECT_TRUE(FilesWithExtension(DataFolder(), ".info").empty());
}

TEST_F(CupsQueueTest, UnreachableServerHoldsTheJobForLater) {
    int jobId = Print(kQueue, "Nobody listens", PrintData(500));

    BackendEnd end = s_cups->WaitForBackendEnd(jobId, kJobTimeout);
    std::vector<std::string> log = s_cups->JobLog(jobId);
    ASSERT_TRUE(end.ended) << JoinLines(log);
    EXPECT_EQ(end.status, 6) << JoinLines(log);
    EXPECT_TRUE(LogHas(log, "be reached at " + (UserRuntime() / "Mossvane_nobody").string()))
        << JoinLines(log);
    EXPECT_TRUE(s_cups->IsPending(kQueue, jobId));
}

TEST_F(CupsQueueTest, StandardInputWithTheMarkerIsSentUnchanged) {
    StartServer();
    std::string data = PrintData(5000) + Marker();
    WriteFile(DataFolder().parent_path() / "stdin.bin", data);
    std::string output;
    EXPECT_EQ(RunBackend({"31", kTestUser, "From a pipe", "2", "sides=one-sided"},
                         (DataFolder().parent_path() / "stdin.bin").string(), std::nullopt, output),
              0)
        << output;
    ASSERT_TRUE(
        WaitUntil([&] { return !FilesWithExtension(DataFolder(), ".info").empty(); }, kJobTimeout))
        << output << ServerOutput();
    std::vector<fs::path> jobs = FilesWithExtension(DataFolder(), ".prn");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(ReadFile(jobs[0].string()), data);
    EXPECT_NE(jobs[0].filename().string().find("0031.prn"), std::string::npos);
    std::string info = ReadFile(FilesWithExtension(DataFolder(), ".info")[0].string());
    EXPECT_NE(info.find("<Copies>2</Copies>"), std::string::npos) << info;
    EXPECT_NE(info.find("<Options>sides=one-sided</Options>"), std::string::npos) << info;
}

TEST_F(CupsQueueTest, WithoutRootTheBackendServesOnlyItsOwnUser) {
    StartServer();
    std::string output;
    int exitCode = RunBackend({"32", "root", "Not mine", "1", ""}, "/dev/null",
                              getpwnam(kTestUser)->pw_uid, output);
    EXPECT_EQ(exitCode, 1) << output;
    EXPECT_NE(output.find("ERROR: "), std::string::npos) << output;
    EXPECT_NE(output.find("acts only for that user"), std::string::npos) << output;
    EXPECT_TRUE(FilesWithExtension(DataFolder(), ".prn").empty());
}

}  // namespace
}  // namespace mossvane::cups::test
