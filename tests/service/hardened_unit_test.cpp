// mossvane.service's sandboxing keeps the program working: the server runs
// under the unit's own settings, played by bwrap and mossvane-unit-sandbox
// (no user manager runs here), shows its dialog on the display, answers a
// GETINFO with the number typed into it, and stores a job in a folder
// outside the home folder. A control shows the sandbox really bites.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <future>

#include "dialog_driver.h"
#include "job_client.h"
#include "server_harness.h"
#include "unit_sandbox_settings.h"
#include "wire/job_message.h"
#include "wire/wire_format.h"

namespace mossvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kBwrap[] = "/usr/bin/bwrap";
constexpr char kSystemdAnalyze[] = "/usr/bin/systemd-analyze";
constexpr char16_t kCaption[] = u"Personal Identification Number";
constexpr auto kAnswerTimeout = 60s;

std::string CommandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t got = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
        pclose(pipe);
    }
    return output;
}

std::u16string DecodeAnswer(const Bytes& bytes) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size() && (bytes[i] || bytes[i + 1]); i += 2) {
        text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    }
    return text;
}

std::u16string ExchangeGetInfo(platform::PipeConnection connection) {
    if (!WriteAll(connection, EncodeRequest(u"@=GETINFO"))) return u"<write failed>";
    Bytes received;
    std::uint8_t buffer[kPipeBufferSize];
    for (;;) {
        std::size_t got = 0;
        if (connection.Read(buffer, sizeof buffer, got) != platform::kSuccess) break;
        received.insert(received.end(), buffer, buffer + got);
        std::size_t n = received.size();
        if (n >= 2 && n % 2 == 0 && received[n - 1] == 0 && received[n - 2] == 0) break;
    }
    return DecodeAnswer(received);
}

class HardenedUnitTest : public ServerTest {
  protected:
    void SetUp() override {
#ifdef MOSSVANE_SANITIZED_BUILD
        GTEST_SKIP() << "the sanitizers' runtimes make calls the unit forbids";
#endif
        if (!test::DialogDriver::DisplayAvailable()) GTEST_SKIP() << "needs a display";
        for (const char* program : {kBwrap, kSystemdAnalyze}) {
            if (access(program, X_OK) != 0) GTEST_SKIP() << program << " is not installed";
        }
        ServerTest::SetUp();
        SyscallGroups groups =
            ReadSyscallGroups(CommandOutput(std::string(kSystemdAnalyze) + " syscall-filter"));
        ASSERT_TRUE(groups.count("@system-service")) << "systemd-analyze lists no call groups";
        m_command = TranslateSettings(ReadServiceSettings(MOSSVANE_SERVICE_UNIT), groups);
        ASSERT_TRUE(m_command.unplayable.empty())
            << "settings the test can't play yet: " << m_command.unplayable.front();
        char pattern[] = "/var/tmp/mossvane-unit-jobs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_jobFolder = pattern;
    }

    void TearDown() override {
        if (m_server) m_server->Kill();
        if (!m_jobFolder.empty()) fs::remove_all(m_jobFolder);
        ServerTest::TearDown();
    }

    // bwrap's options, the sandbox helper and its options, then program.
    std::vector<std::string> SandboxedCommand(const std::vector<std::string>& program) const {
        std::vector<std::string> arguments = m_command.bwrapOptions;
        arguments.push_back("--");
        arguments.push_back(ChildProcess::ProgramFolder() + "mossvane-unit-sandbox");
        arguments.insert(arguments.end(), m_command.sandboxOptions.begin(),
                         m_command.sandboxOptions.end());
        arguments.push_back("--");
        arguments.insert(arguments.end(), program.begin(), program.end());
        return arguments;
    }

    void StartSandboxedServer() {
        m_server = ChildProcess::Start(
            kBwrap, SandboxedCommand({ChildProcess::ProgramFolder() + "mossvane"}), folder());
        ASSERT_TRUE(m_server);
        ASSERT_TRUE(WaitForDebugText(*m_server, "LastError: 0")) << m_server->DebugOutput();
    }

    SandboxCommand m_command;
    fs::path m_jobFolder;
    std::unique_ptr<ChildProcess> m_server;
    test::DialogDriver m_driver;
};

TEST_F(HardenedUnitTest, DialogAnswersAndJobsLandOutsideTheHomeFolder) {
    SetPrintFolder(m_jobFolder);
    StartSandboxedServer();

    platform::PipeConnection asking;
    ASSERT_TRUE(Connect(asking));
    auto answer = std::async(std::launch::async, ExchangeGetInfo, std::move(asking));
    ASSERT_TRUE(m_driver.WaitForWindow(kCaption)) << m_server->DebugOutput();
    ASSERT_TRUE(m_driver.EnterNumber(u"47110815"));
    ASSERT_TRUE(m_driver.PressOk());
    ASSERT_EQ(answer.wait_for(kAnswerTimeout), std::future_status::ready);
    EXPECT_EQ(answer.get(), u"[Result]\nRETURN=OK\nPhoneNumber=47110815\n")
        << m_server->DebugOutput();

    Bytes data = PatternBytes(20000, 3);
    data.insert(data.end(), kEndOfJobMarker, kEndOfJobMarker + kEndOfJobMarkerSize);
    platform::PipeConnection job;
    ASSERT_TRUE(Connect(job));
    ASSERT_TRUE(WriteAll(job, EncodeWholeJob(7, data, u"User=alice\n")));
    EXPECT_TRUE(StoredByServer(job));
    ASSERT_TRUE(
        WaitUntil([&] { return !FilesWithExtension(m_jobFolder, ".info").empty(); }, kStartTimeout))
        << m_server->DebugOutput();
    std::vector<fs::path> jobs = FilesWithExtension(m_jobFolder, ".prn");
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(ReadFileBytes(jobs[0]), std::string(data.begin(), data.end()));
}

// The same sandbox refuses what the settings forbid: writing below /etc,
// making a namespace, an Internet socket, allowing core files.
TEST_F(HardenedUnitTest, TheSandboxBites) {
    struct Probe {
        const char* what;
        std::vector<std::string> command;
    };
    for (const Probe& probe :
         {Probe{"write to /etc", {"/usr/bin/touch", "/etc/mossvane-sandbox-probe"}},
          Probe{"make a namespace", {"/usr/bin/unshare", "--user", "/bin/true"}},
          Probe{"make an Internet socket",
                {"/usr/bin/python3", "-c", "import socket; socket.socket(socket.AF_INET)"}},
          Probe{"allow core files", {"/bin/sh", "-c", "ulimit -c 1"}}}) {
        auto process = ChildProcess::Start(kBwrap, SandboxedCommand(probe.command), folder());
        ASSERT_TRUE(process);
        int exitCode = 0;
        ASSERT_TRUE(process->WaitForExit(kStartTimeout, exitCode));
        EXPECT_NE(exitCode, 0) << probe.what << " worked in the sandbox";
    }
    EXPECT_FALSE(fs::exists("/etc/mossvane-sandbox-probe"));
}

// A setting the test does not know how to play fails the test rather than
// going untested.
TEST(UnitSettingsTest, AnUnknownSettingIsReported) {
    SyscallGroups groups;
    SandboxCommand command = TranslateSettings(
        {{"NoNewPrivileges", "yes"}, {"PrivateTmp", "yes"}, {"ProtectSystem", "strict"}}, groups);
    EXPECT_EQ(command.unplayable,
              (std::vector<std::string>{"PrivateTmp=yes", "ProtectSystem=strict"}));
}

}  // namespace
}  // namespace mossvane::testing
