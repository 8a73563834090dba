// The command verbs of the real program: as the first process of the user,
// as a client of a running server, and as an installer.
#include <chrono>
#include <filesystem>
#include <fstream>

#include "l10n/l10n_constants.h"
#include "platform/event.h"
#include "platform/instance_mutex.h"
#include "platform/registry.h"
#include "server_harness.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {
namespace {

constexpr char16_t kMutexBaseName[] = u"Global\\Mossvane";
constexpr const char16_t* kListNames[] = {u"DevmodeList", u"DevmodeListForEndDoc",
                                          u"PhoneNumberList"};

class CommandVerbsTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        ClearMachineLists();
    }
    void TearDown() override {
        ClearMachineLists();
        ServerTest::TearDown();
    }

    // Runs the program with the arguments to its end; null when it didn't end.
    std::unique_ptr<ChildProcess> Run(const std::vector<std::string>& arguments,
                                      std::chrono::milliseconds timeout = kStartTimeout) {
        auto process = StartProgram(arguments);
        if (!process) return nullptr;
        int exitCode = -1;
        if (!process->WaitForExit(timeout, exitCode) || exitCode != 0) return nullptr;
        return process;
    }

    // Standard output, standard error and the debugger output together.
    static std::string AllOutput(const ChildProcess& process) {
        return process.StandardOutput() + process.DebugOutput();
    }

    static bool Contains(const std::string& text, std::string_view needle) {
        return text.find(needle) != std::string::npos;
    }

    std::string WriteSettings(const std::string& name, const std::string& content) {
        const std::filesystem::path path = std::filesystem::path(folder()) / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    static bool UserKeyExists() {
        platform::RegistryKey key;
        return platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser,
                                           l10n::kPlugInKeyPath, platform::RegistryAccess::Read,
                                           key) == platform::kSuccess;
    }

    static void CreateUserKey() {
        platform::RegistryKey key;
        ASSERT_EQ(
            platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, l10n::kPlugInKeyPath,
                                          platform::RegistryAccess::ReadWrite, key),
            platform::kSuccess);
    }

    static bool MachineListIs(std::u16string_view name, std::u16string_view text) {
        platform::RegistryKey key;
        if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                                        platform::RegistryAccess::Read,
                                        key) != platform::kSuccess) {
            return false;
        }
        platform::RegistryValue value;
        if (key.QueryValue(name, value) != platform::kSuccess) return false;
        // UTF-16LE with the terminator.
        std::vector<std::uint8_t> expected;
        for (char16_t c : std::u16string(text) + u'\0') {
            expected.push_back(static_cast<std::uint8_t>(c & 0xFF));
            expected.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        return value.type == platform::reg_type::kSz && value.data == expected;
    }

    static bool MachineListAbsent(std::u16string_view name) {
        platform::RegistryKey key;
        if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                                        platform::RegistryAccess::Read,
                                        key) != platform::kSuccess) {
            return true;
        }
        platform::RegistryValue value;
        return key.QueryValue(name, value) == platform::kFileNotFound;
    }

  private:
    // Under Wine the machine-wide key is the prefix's and outlives a test.
    static void ClearMachineLists() {
        platform::RegistryKey key;
        if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                                        platform::RegistryAccess::All, key) != platform::kSuccess) {
            return;
        }
        for (const char16_t* name : kListNames) key.DeleteValue(name);
    }
};

TEST_F(CommandVerbsTest, ExitWithoutAServerSendsNothing) {
    auto process = Run({"/Exit"});
    ASSERT_TRUE(process);
    const std::string output = process->DebugOutput();
    EXPECT_EQ(CountLines(output, "Exit"), 1u) << output;
    EXPECT_FALSE(Contains(output, "call before")) << output;
    EXPECT_FALSE(Contains(output, "[KV]")) << output;
    EXPECT_FALSE(Contains(output, "Plus Call Count")) << output;
}

TEST_F(CommandVerbsTest, ExitStopsTheRunningServer) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    auto client = Run({"/Exit"});
    ASSERT_TRUE(client);
    const std::string output = client->DebugOutput();
    EXPECT_EQ(CountLines(output, "call before"), 1u) << output;
    EXPECT_EQ(CountLines(output, "call after"), 1u) << output;
    EXPECT_TRUE(WaitForDebugText(*server, "[PI] param: @=Exit")) << server->DebugOutput();
    int exitCode = -1;
    EXPECT_TRUE(server->WaitForExit(kStartTimeout, exitCode));
}

TEST_F(CommandVerbsTest, OpenInTheFirstProcessRunsTheServer) {
    auto server = StartProgram({"/Open"});
    ASSERT_TRUE(server);
    EXPECT_TRUE(WaitForDebugText(*server, "open"));
    platform::PipeConnection client;
    EXPECT_TRUE(Connect(client));
    EXPECT_TRUE(WaitForDebugText(*server, "[PI]Plus Call Count"));
}

TEST_F(CommandVerbsTest, LowerCaseOpenSendsOpenUI) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    auto client = Run({"/open"});
    ASSERT_TRUE(client);
    EXPECT_EQ(CountLines(client->DebugOutput(), "open"), 1u) << client->DebugOutput();
    EXPECT_TRUE(WaitForDebugText(*server, "[PI] param: @=OpenUI")) << server->DebugOutput();
}

TEST_F(CommandVerbsTest, HyphenOpenIsNoVerb) {
    auto server = StartProgram({"-Open"});
    ASSERT_TRUE(server);
    platform::PipeConnection client;
    EXPECT_TRUE(Connect(client));
    EXPECT_FALSE(Contains(server->DebugOutput(), "open"));

    // A second process with it ends at once, without touching the pipe.
    auto second = Run({"-Open"});
    ASSERT_TRUE(second);
    EXPECT_FALSE(Contains(second->DebugOutput(), "call before"));
}

TEST_F(CommandVerbsTest, UnknownVerbMakesASecondServerTry) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    auto second = StartProgram({"/foo"});
    ASSERT_TRUE(second);
    // The pipe is the first server's: the second one gives up without serving.
    int exitCode = -1;
    ASSERT_TRUE(second->WaitForExit(kStartTimeout, exitCode)) << second->DebugOutput();
    EXPECT_TRUE(Contains(second->DebugOutput(), "[PI]CreateNamedPipe failed, GLE="))
        << second->DebugOutput();
    platform::PipeConnection client;
    ASSERT_TRUE(Connect(client));
    EXPECT_TRUE(WaitForDebugText(*server, "[PI]Plus Call Count")) << server->DebugOutput();
}

TEST_F(CommandVerbsTest, InstallWritesTheMachineLists) {
    const std::string path =
        WriteSettings("settings.xml",
                      "<Settings><DefaultValue><DevmodeList>red;green;blue</DevmodeList>"
                      "<PhoneNumberList>;;</PhoneNumberList></DefaultValue></Settings>");
    auto process = Run({"/install", path});
    ASSERT_TRUE(process);
    EXPECT_EQ(CountLines(process->DebugOutput(), "install"), 1u);
    EXPECT_TRUE(MachineListIs(u"DevmodeList", u"red\ngreen\nblue"));
    EXPECT_TRUE(MachineListIs(u"PhoneNumberList", u"\n\n"));
    EXPECT_TRUE(MachineListAbsent(u"DevmodeListForEndDoc"));
}

// File names are bytes on POSIX: one that is not UTF-8 still names its file.
TEST_F(CommandVerbsTest, InstallReadsAFileWhoseNameIsNotUtf8) {
    if (!ChildProcess::IsPosix()) GTEST_SKIP() << "Windows command lines are UTF-16";
    const std::string path = WriteSettings(
        "caf\xE9.xml", "<r><DefaultValue><DevmodeList>latin;1</DevmodeList></DefaultValue></r>");
    auto process = Run({"/install", path});
    ASSERT_TRUE(process);
    EXPECT_FALSE(Contains(AllOutput(*process), "cannot read")) << AllOutput(*process);
    EXPECT_TRUE(MachineListIs(u"DevmodeList", u"latin\n1"));
}

// Memory that runs out during an install ends the verb, not the process: it
// still shuts down in order, with exit code 0.
TEST_F(CommandVerbsTest, InstallThatRunsOutOfMemoryEndsInOrder) {
    if (!ChildProcess::IsPosix()) GTEST_SKIP() << "the memory limit is set with prlimit";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's runtime needs more address space than the limit";
#endif
    // 60 MB of list text, below the settings file limit; converting it takes
    // more than the 250 MiB of address space the program gets.
    const std::string path =
        WriteSettings("big.xml", "<r><DefaultValue><DevmodeList>" + std::string(60'000'000, 'a') +
                                     "</DevmodeList></DefaultValue></r>");
    const std::string program =
        ChildProcess::ProgramFolder() + "mossvane" + ChildProcess::ExecutableSuffix();
    auto process = ChildProcess::Start(
        "/usr/bin/prlimit", {"--as=" + std::to_string(250 << 20), "--", program, "/i", path},
        folder());
    ASSERT_TRUE(process);
    int exitCode = -1;
    ASSERT_TRUE(process->WaitForExit(kStartTimeout, exitCode));
    EXPECT_EQ(exitCode, 0);
    const std::string output = AllOutput(*process);
    EXPECT_TRUE(Contains(output, ": out of memory")) << output;
    EXPECT_EQ(CountLines(process->DebugOutput(), "[PI] End PlugIn Server"), 1u) << output;
    EXPECT_TRUE(MachineListAbsent(u"DevmodeList"));
}

TEST_F(CommandVerbsTest, InstallArgumentIsTheRestOfTheLine) {
    WriteSettings("settings.xml",
                  "<r><DefaultValue><DevmodeList>a</DevmodeList></DefaultValue></r>");
    CreateUserKey();
    const std::string path = folder() + "/settings.xml";
    auto process = Run({"/i", path, "/u"});
    ASSERT_TRUE(process);
    const std::string output = AllOutput(*process);
    EXPECT_TRUE(Contains(output, "mossvane: cannot read settings file '" + path + " /u'"))
        << output;
    EXPECT_TRUE(MachineListAbsent(u"DevmodeList"));
    EXPECT_EQ(CountLines(process->DebugOutput(), "uninstall"), 1u);
    EXPECT_FALSE(UserKeyExists());
}

TEST_F(CommandVerbsTest, InstallAsTheLastWordInstallsNothing) {
    CreateUserKey();
    auto process = Run({"/u", "/i"});
    ASSERT_TRUE(process);
    EXPECT_EQ(CountLines(process->DebugOutput(), "install"), 1u);
    EXPECT_FALSE(UserKeyExists());
    EXPECT_FALSE(Contains(AllOutput(*process), "cannot read settings file"));
}

TEST_F(CommandVerbsTest, TabAfterInstallEndsTheScan) {
    CreateUserKey();
    auto process = Run({"/i\t/u"});
    ASSERT_TRUE(process);
    EXPECT_EQ(CountLines(process->DebugOutput(), "install"), 1u);
    EXPECT_EQ(CountLines(process->DebugOutput(), "uninstall"), 0u);
    EXPECT_TRUE(UserKeyExists());
}

TEST_F(CommandVerbsTest, OpenJoinedToExitIsOnlyExit) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    auto client = Run({"/Open/Exit"});
    ASSERT_TRUE(client);
    EXPECT_EQ(CountLines(client->DebugOutput(), "open"), 0u);
    EXPECT_EQ(CountLines(client->DebugOutput(), "Exit"), 1u);
    int exitCode = -1;
    EXPECT_TRUE(server->WaitForExit(kStartTimeout, exitCode));
    EXPECT_FALSE(Contains(server->DebugOutput(), "@=OpenUI"));
}

// Another process of the user holds the lock but has no pipe yet, as a
// server that is still starting: the client keeps trying every 100 ms.
class StartingServerTest : public CommandVerbsTest {
  protected:
    void SetUp() override {
        CommandVerbsTest::SetUp();
        platform::ErrorCode error = platform::kSuccess;
        m_lock = platform::NamedMutex::Create(NameWithUserSuffix(kMutexBaseName), error);
        ASSERT_EQ(error, platform::kSuccess);
    }
    void TearDown() override {
        m_lock.Release();
        m_lock.Close();
        CommandVerbsTest::TearDown();
    }

  private:
    platform::NamedMutex m_lock;
};

TEST_F(StartingServerTest, ClientWaitsForThePipeAndSendsOneRequest) {
    auto client = StartProgram({"/Exit"});
    ASSERT_TRUE(client);
    ASSERT_TRUE(WaitForDebugText(*client, "call before"));

    platform::PipeListener listener(UserPipeName());
    ASSERT_EQ(listener.CreateInstance(), platform::kSuccess);
    platform::Event neverSet;
    platform::PipeConnection connection;
    platform::ErrorCode error = platform::kSuccess;
    ASSERT_EQ(listener.WaitForClient(neverSet, connection, error),
              platform::ListenResult::Connected);

    // @=Exit and its null in UTF-16: 14 bytes in one message.
    std::vector<std::uint8_t> received;
    std::uint8_t buffer[64];
    while (received.size() < 14) {
        std::size_t got = 0;
        ASSERT_EQ(connection.Read(buffer, sizeof buffer, got), platform::kSuccess);
        received.insert(received.end(), buffer, buffer + got);
    }
    const std::vector<std::uint8_t> expected = {'@', 0,   '=', 0,   'E', 0, 'x',
                                                0,   'i', 0,   't', 0,   0, 0};
    EXPECT_EQ(received, expected);
    EXPECT_FALSE(Contains(client->DebugOutput(), "call after"));

    const char16_t answer[] = u"[Result]\nRETURN=OK\n";
    std::size_t written = 0;
    ASSERT_EQ(connection.Write(answer, sizeof answer, written), platform::kSuccess);
    connection.FlushAndDisconnect();
    int exitCode = -1;
    ASSERT_TRUE(client->WaitForExit(kStartTimeout, exitCode));
    EXPECT_EQ(CountLines(client->DebugOutput(), "call after"), 1u);
}

TEST_F(StartingServerTest, ClientGivesUpAfterTwentySeconds) {
    const auto start = std::chrono::steady_clock::now();
    auto client = StartProgram({"/Exit"});
    ASSERT_TRUE(client);
    int exitCode = -1;
    ASSERT_TRUE(client->WaitForExit(std::chrono::seconds(90), exitCode));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::seconds(19));
    EXPECT_EQ(CountLines(client->DebugOutput(), "call after"), 1u);
    EXPECT_FALSE(Contains(client->DebugOutput(), "Could not open pipe"));
}

}  // namespace
}  // namespace mossvane::testing
