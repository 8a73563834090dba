// Print jobs sent to the real server, stored in its data folder.
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <set>

#include "dialog_driver.h"
#include "job_client.h"
#include "l10n/l10n_constants.h"
#include "pipe/job_file.h"
#include "pipe/job_spool.h"
#include "pipe/pipe_constants.h"
#include "platform/codepage.h"
#include "platform/registry.h"
#include "platform/spool_files.h"
#include "server_harness.h"
#include "support/file_bytes.h"
#include "wire/job_message.h"

namespace mossvane::testing {
namespace {

namespace fs = std::filesystem;
using mossvane::test::ReadFileBytes;
using Bytes = std::vector<std::uint8_t>;

const Bytes kMarker(kEndOfJobMarker, kEndOfJobMarker + kEndOfJobMarkerSize);

#ifdef _WIN32
constexpr char kNewLine[] = "\r\n";
#else
constexpr char kNewLine[] = "\n";
#endif

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Piece(std::size_t size, std::uint8_t seed) {
    Bytes piece(size);
    for (std::size_t i = 0; i < size; ++i) piece[i] = static_cast<std::uint8_t>(i * 13 + seed);
    return piece;
}

Bytes WriteMessage(const Bytes& piece) {
    return EncodeJobMessage(WRITE_JOB_CMD, piece.data(), piece.size());
}

std::set<fs::path> FilesIn(const fs::path& folder) {
    std::set<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) files.insert(entry.path());
    return files;
}

void SetPlugInValue(platform::RegistryRoot root, std::u16string_view name, std::uint32_t type,
                    const void* data, std::size_t size) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegistryKey::Create(root, l10n::kPlugInKeyPath,
                                            platform::RegistryAccess::ReadWrite, key),
              platform::kSuccess);
    ASSERT_EQ(key.SetValue(name, type, data, size), platform::kSuccess);
}

void SetPlugInText(platform::RegistryRoot root, std::u16string_view name,
                   const std::u16string& text) {
    SetPlugInValue(root, name, platform::reg_type::kSz, text.c_str(), (text.size() + 1) * 2);
}

// Under Wine the machine hive outlives the test.
void DeleteMachineValues() {
    platform::RegistryKey key;
    if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                                    platform::RegistryAccess::ReadWrite,
                                    key) == platform::kSuccess) {
        key.DeleteValue(kPrintFolderPathValue);
        key.DeleteValue(l10n::kCountryCodeValueName);
    }
}

// The folder jobs go to when the registry names none.
fs::path DefaultJobFolder() {
    std::u16string folder;
    EXPECT_EQ(platform::GetUserDataFolder(folder), platform::kSuccess);
    return fs::path(folder) / "VARNOCK" / "PlugInPrnData";
}

class JobSpoolIntegrationTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        DeleteMachineValues();
        m_jobs = fs::path(folder()) / "jobs";
        fs::create_directory(m_jobs);
        SetPlugInText(platform::RegistryRoot::CurrentUser, kPrintFolderPathValue,
                      m_jobs.u16string());
        m_server = StartServer();
        ASSERT_TRUE(m_server);
    }

    void TearDown() override {
        DeleteMachineValues();
        // Jobs that went to the default folder are the test's own.
        for (const fs::path& file : m_defaultFolderFiles) fs::remove(file);
        ServerTest::TearDown();
    }

    // Sends bytes on a new connection and tells how the server ended it.
    ServerEnd SendJob(const Bytes& bytes) {
        platform::PipeConnection client;
        if (!Connect(client)) return ServerEnd::Other;
        std::size_t written = 0;
        if (client.Write(bytes.data(), bytes.size(), written) != platform::kSuccess) {
            return ServerEnd::Other;
        }
        return WaitForServerEnd(client);
    }

    std::vector<fs::path> Files(const std::string& extension) const {
        std::vector<fs::path> files;
        for (const fs::path& file : FilesIn(m_jobs)) {
            if (file.extension() == extension) files.push_back(file);
        }
        return files;
    }

    // New files of the default folder are removed after the test.
    void ForgetDefaultFolderFiles(const std::set<fs::path>& before) {
        for (const fs::path& file : FilesIn(DefaultJobFolder())) {
            if (!before.count(file)) m_defaultFolderFiles.push_back(file);
        }
    }

    const fs::path& jobs() const { return m_jobs; }
    ChildProcess& server() { return *m_server; }
    std::vector<fs::path> m_defaultFolderFiles;

  private:
    fs::path m_jobs;
    std::unique_ptr<ChildProcess> m_server;
};

TEST_F(JobSpoolIntegrationTest, SendToolJobIsStoredWithItsInformation) {
    const fs::path data = fs::path(folder()) / "data.bin";
    const Bytes bytes = Piece(3 * kMaxJobPayload + 77, 5);
    std::ofstream(data, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    auto tool = ChildProcess::Start(
        ChildProcess::ProgramFolder() + "mossvane-send" + ChildProcess::ExecutableSuffix(),
        {"job", "--number", "123456", "--info", "Title=Report", "--info", "Copies=2", "--add-uel",
         data.string()},
        folder());
    ASSERT_TRUE(tool);
    int exitCode = -1;
    ASSERT_TRUE(tool->WaitForExit(kStartTimeout, exitCode));
    EXPECT_EQ(exitCode, 0) << tool->StandardOutput() << server().DebugOutput();

    const auto jobFiles = Files(".prn");
    ASSERT_EQ(jobFiles.size(), 1u) << server().DebugOutput();
    const std::string name = jobFiles[0].stem().string();
    EXPECT_EQ(name.size(), 18u);
    EXPECT_EQ(name.substr(14), "3456");
    EXPECT_EQ(ReadFileBytes(jobFiles[0]), std::string(bytes.begin(), bytes.end()) +
                                              std::string(kMarker.begin(), kMarker.end()));
    const std::string nl = kNewLine;
    EXPECT_EQ(ReadFileBytes(jobs() / (name + ".info")),
              "<?xml version=\"1.0\" encoding=\"" + platform::AnsiCodePageEncodingName() + "\"?>" +
                  nl + "<JobInfo>" + nl + "    <Copies>2</Copies>" + nl +
                  "    <Title>Report</Title>" + nl + "</JobInfo>" + nl);
    EXPECT_TRUE(WaitForDebugText(server(), "[PI][Pipe - InstanceThread]Job is created : " + name));
}

enum class Destination { JobFolder, DefaultFolder, Nowhere };

struct FolderCase {
    const char* name;
    void (*arrange)(const fs::path& jobs);
    Destination destination;
};

void PrintTo(const FolderCase& folderCase, std::ostream* out) {
    *out << folderCase.name;
}

class JobFolderTest : public JobSpoolIntegrationTest,
                      public ::testing::WithParamInterface<FolderCase> {};

TEST_P(JobFolderTest, JobGoesWhereTheRegistrySays) {
    GetParam().arrange(jobs());
    const std::set<fs::path> before = FilesIn(DefaultJobFolder());
    const ServerEnd end =
        SendJob(Concat({EncodeCreateJob(11), WriteMessage(Concat({Piece(20, 3), kMarker})),
                        EncodeEndJob(u"a=1")}));
    EXPECT_EQ(end, GetParam().destination == Destination::Nowhere ? ServerEnd::AsFailure
                                                                  : ServerEnd::InOrder);
    ForgetDefaultFolderFiles(before);
    const std::size_t inDefault = m_defaultFolderFiles.size();
    switch (GetParam().destination) {
        case Destination::JobFolder:
            EXPECT_EQ(Files(".prn").size(), 1u);
            EXPECT_EQ(Files(".info").size(), 1u);
            EXPECT_EQ(inDefault, 0u);
            break;
        case Destination::DefaultFolder:
            EXPECT_TRUE(FilesIn(jobs()).empty());
            EXPECT_EQ(inDefault, 2u);  // the job and its information
            break;
        case Destination::Nowhere:
            EXPECT_TRUE(FilesIn(jobs()).empty());
            EXPECT_EQ(inDefault, 0u);
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Registry, JobFolderTest,
    ::testing::Values(FolderCase{"FolderSet", [](const fs::path&) {}, Destination::JobFolder},
                      FolderCase{"EmptyTextWithTerminator",
                                 [](const fs::path&) {
                                     SetPlugInText(platform::RegistryRoot::CurrentUser,
                                                   kPrintFolderPathValue, u"");
                                 },
                                 Destination::Nowhere},
                      FolderCase{"ValueWithoutData",
                                 [](const fs::path&) {
                                     SetPlugInValue(platform::RegistryRoot::CurrentUser,
                                                    kPrintFolderPathValue, platform::reg_type::kSz,
                                                    nullptr, 0);
                                 },
                                 Destination::DefaultFolder},
                      FolderCase{"MachineValueWhileTheUserKeyExists",
                                 [](const fs::path& jobs) {
                                     platform::RegistryKey key;
                                     ASSERT_EQ(platform::RegistryKey::Open(
                                                   platform::RegistryRoot::CurrentUser,
                                                   l10n::kPlugInKeyPath,
                                                   platform::RegistryAccess::ReadWrite, key),
                                               platform::kSuccess);
                                     ASSERT_EQ(key.DeleteValue(kPrintFolderPathValue),
                                               platform::kSuccess);
                                     SetPlugInText(platform::RegistryRoot::LocalMachine,
                                                   kPrintFolderPathValue, jobs.u16string());
                                 },
                                 Destination::DefaultFolder}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return info.param.name; });

TEST_F(JobSpoolIntegrationTest, WriteWithoutAJobShowsTheWarningUntilItIsClosed) {
    if (!test::DialogDriver::DisplayAvailable() && !ChildProcess::IsPosix()) {
        GTEST_SKIP() << "needs a display";
    }
    // A language without texts of its own shows the built-in defaults.
    SetPlugInText(platform::RegistryRoot::LocalMachine, l10n::kCountryCodeValueName, u"ZZ");
    platform::PipeConnection client;
    ASSERT_TRUE(Connect(client));
    const Bytes bytes = WriteMessage(kMarker);
    std::size_t written = 0;
    ASSERT_EQ(client.Write(bytes.data(), bytes.size(), written), platform::kSuccess);
    auto closed = std::async(std::launch::async,
                             [&] { return WaitForServerEnd(client) == ServerEnd::AsFailure; });

    if (!test::DialogDriver::DisplayAvailable()) {
        // Nobody could close it: the connection ends at once.
        EXPECT_TRUE(closed.get());
        EXPECT_TRUE(WaitForDebugText(server(), "[PI] The job warning could not be shown."));
        return;
    }
    test::DialogDriver driver;
    ASSERT_TRUE(driver.WaitForWindow(u"경고")) << server().DebugOutput();
    EXPECT_TRUE(
        WaitForDebugText(server(), "[PI][InstantThread] bCreateJob is false or invalid handle"));
    // The connection waits for the user.
    EXPECT_EQ(closed.wait_for(1s), std::future_status::timeout);
    ASSERT_TRUE(driver.ConfirmMessageBox(u"경고"));
    ASSERT_EQ(closed.wait_for(kStartTimeout), std::future_status::ready);
    EXPECT_TRUE(closed.get());
    EXPECT_TRUE(WaitUntil([&] { return !driver.IsShown(u"경고"); }, 30s));
}

}  // namespace
}  // namespace mossvane::testing
