// Installs that fail on POSIX: each says why on standard error, in plain
// words that name the real cause, and leaves the machine-wide hive as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/install_settings.h"
#include "l10n/l10n_constants.h"
#include "platform/registry.h"
#include "platform/utf8.h"
#include "support/debug_capture.h"
#include "support/file_bytes.h"
#include "support/settings_sandbox.h"

namespace mossvane {
namespace {

using mossvane::test::ReadFileBytes;

namespace fs = std::filesystem;

constexpr char kOldHive[] =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Varnock\\Varnock Printer Driver Plug In]\n"
    "\"DevmodeList\"=\"old\"\n";

void WriteAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string SettingsWithLists(const std::string& devmode, const std::string& phone) {
    return "<r><DefaultValue><DevmodeList>" + devmode + "</DevmodeList><PhoneNumberList>" + phone +
           "</PhoneNumberList></DefaultValue></r>";
}

// What InstallDefaults says on standard error.
std::string InstallAndCollectErrors(const std::string& argument) {
    test::DebugCapture capture;
    InstallDefaults(platform::FileNameToUtf16(argument));
    EXPECT_TRUE(capture.Sync());
    std::string errors;
    for (const std::string& text : capture.Texts()) errors += text;
    return errors;
}

struct FailureCase {
    const char* name;
    // Prepares the files in `folder` and returns the install argument.
    std::function<std::string(const fs::path& folder, const fs::path& hive)> prepare;
    const char* message;
};

void PrintTo(const FailureCase& failure, std::ostream* out) {
    *out << failure.name;
}

class InstallFailureTest : public ::testing::TestWithParam<FailureCase> {
  protected:
    void SetUp() override {
        fs::create_directories(m_sandbox.FilesFolder());
        WriteAll(Hive(), kOldHive);
    }
    fs::path Folder() const { return m_sandbox.FilesFolder(); }
    static fs::path Hive() { return getenv("MOSSVANE_MACHINE_REG"); }

    test::SettingsSandbox m_sandbox;
};

TEST_P(InstallFailureTest, NamesTheCauseAndChangesNothing) {
    const std::string argument = GetParam().prepare(Folder(), Hive());
    const std::string hiveBefore = ReadFileBytes(Hive());
    const std::string errors = InstallAndCollectErrors(argument);
    EXPECT_NE(errors.find(GetParam().message), std::string::npos) << errors;
    EXPECT_EQ(ReadFileBytes(Hive()), hiveBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, InstallFailureTest,
    ::testing::Values(
        FailureCase{"NameTooLong",
                    [](const fs::path& folder, const fs::path&) {
                        return (folder / (std::string(300, 'n') + ".xml")).string();
                    },
                    ".xml': name too long"},
        FailureCase{"FolderInsteadOfFile",
                    [](const fs::path& folder, const fs::path&) {
                        fs::create_directory(folder / "settings.xml");
                        return (folder / "settings.xml").string();
                    },
                    "settings.xml': a folder, not a file"},
        FailureCase{"DamagedHive",
                    [](const fs::path& folder, const fs::path& hive) {
                        WriteAll(hive, "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE");
                        WriteAll(folder / "s.xml", SettingsWithLists("a", "1"));
                        return (folder / "s.xml").string();
                    },
                    "cannot write the machine-wide settings: the settings hive is damaged"},
        FailureCase{"HiveIsAFolder",
                    [](const fs::path& folder, const fs::path& hive) {
                        fs::remove(hive);
                        fs::create_directory(hive);
                        WriteAll(folder / "s.xml", SettingsWithLists("a", "1"));
                        return (folder / "s.xml").string();
                    },
                    "cannot write the machine-wide settings: a folder, not a file"},
        FailureCase{"SettingsFileTooLarge",
                    [](const fs::path& folder, const fs::path&) {
                        // Sparse: nothing of it needs to be on disk.
                        WriteAll(folder / "huge.xml", "");
                        fs::resize_file(folder / "huge.xml", kMaxSettingsFileSize + 1);
                        return (folder / "huge.xml").string();
                    },
                    "huge.xml' (at most 67108864 bytes): file too large"},
        FailureCase{"DeviceThatNeverEnds",
                    [](const fs::path&, const fs::path&) { return std::string("/dev/zero"); },
                    "cannot read settings file '/dev/zero' (at most 67108864 bytes): file too "
                    "large"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

class InstallLimitTest : public InstallFailureTest {};

// A list that would make the hive larger than any reader takes is refused
// alone: the hive stays readable and the other lists are still written.
TEST_F(InstallLimitTest, ListTooLargeForTheHiveIsRefusedAndTheOthersWritten) {
    // Each ";" becomes a line feed, written "\n" in the hive: 68 MB.
    WriteAll(Folder() / "big.xml", SettingsWithLists(std::string(34'000'000, ';'), "0;1"));
    const std::string errors = InstallAndCollectErrors((Folder() / "big.xml").string());
    EXPECT_NE(
        errors.find("cannot write DevmodeList into the machine-wide settings: file too large"),
        std::string::npos)
        << errors;
    EXPECT_LT(fs::file_size(Hive()), 1000u);
    platform::RegistryKey key;
    ASSERT_EQ(
        platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                                    platform::RegistryAccess::Read, key),
        platform::kSuccess);
    platform::RegistryValue value;
    ASSERT_EQ(key.QueryValue(u"PhoneNumberList", value), platform::kSuccess);
    EXPECT_EQ(value.data, (std::vector<std::uint8_t>{'0', 0, '\n', 0, '1', 0, 0, 0}));
    ASSERT_EQ(key.QueryValue(u"DevmodeList", value), platform::kSuccess);
    EXPECT_EQ(value.data, (std::vector<std::uint8_t>{'o', 0, 'l', 0, 'd', 0, 0, 0}));
}

// A file name that is not UTF-8 reaches the file system byte for byte.
TEST_F(InstallLimitTest, Latin1FileNameIsInstalled) {
    const std::string name = (Folder() / "caf\xE9.xml").string();
    WriteAll(name, SettingsWithLists("latin", "1"));
    const std::string errors = InstallAndCollectErrors(name);
    EXPECT_EQ(errors, "");
    EXPECT_NE(ReadFileBytes(Hive()).find("\"DevmodeList\"=\"latin\""), std::string::npos);
}

// Runs `body` in a child process as a user without any rights of his own
// ("nobody") when the test runs as root, and as this user otherwise; returns
// the child's exit code.
int RunUnprivileged(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
        _exit(body());
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ReadOnlyCase {
    const char* name;
    bool userHive;
};

void PrintTo(const ReadOnlyCase& readOnly, std::ostream* out) {
    *out << readOnly.name;
}

// A hive file its owner made read-only is not rewritten, even where the
// folder would let a new file take its place.
class ReadOnlyHiveTest : public ::testing::TestWithParam<ReadOnlyCase> {};

TEST_P(ReadOnlyHiveTest, IsNotRewritten) {
    test::SettingsSandbox sandbox;
    const fs::path hive = GetParam().userHive
                              ? fs::path(getenv("XDG_CONFIG_HOME")) / "mossvane" / "user.reg"
                              : fs::path(getenv("MOSSVANE_MACHINE_REG"));
    fs::create_directories(sandbox.FilesFolder());
    fs::create_directories(hive.parent_path());
    // Without the keys the verbs create, so the verbs would change the file.
    const std::string before =
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Other]\n\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\n";
    WriteAll(hive, before);
    WriteAll(sandbox.FilesFolder() / "s.xml", SettingsWithLists("new", "1"));
    // Everyone may pass through the sandbox and write the hive's folder;
    // only the hive file itself is read-only.
    for (fs::path folder = hive.parent_path(); folder.has_relative_path() && folder != "/tmp";
         folder = folder.parent_path()) {
        fs::permissions(folder, fs::perms::others_exec | fs::perms::group_exec,
                        fs::perm_options::add);
    }
    fs::permissions(hive.parent_path(), fs::perms::all);
    fs::permissions(sandbox.FilesFolder(), fs::perms::all);
    fs::permissions(sandbox.FilesFolder() / "s.xml", fs::perms::all);
    fs::permissions(hive, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    const std::string settings = (sandbox.FilesFolder() / "s.xml").string();
    const bool userHive = GetParam().userHive;
    EXPECT_EQ(RunUnprivileged([&] {
                  if (userHive) {
                      RemoveUserSettings();
                  } else {
                      InstallDefaults(platform::FileNameToUtf16(settings));
                  }
                  return 0;
              }),
              0);
    EXPECT_EQ(ReadFileBytes(hive), before);
    // Nothing beside the hive but, at most, its lock file.
    for (const auto& entry : fs::directory_iterator(hive.parent_path())) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(hive.filename().string() + ".")) continue;
        EXPECT_EQ(name, hive.filename().string() + ".lock");
    }
}

INSTANTIATE_TEST_SUITE_P(Hives, ReadOnlyHiveTest,
                         ::testing::Values(ReadOnlyCase{"MachineHiveByInstall", false},
                                           ReadOnlyCase{"UserHiveByUninstall", true}),
                         [](const ::testing::TestParamInfo<ReadOnlyCase>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace mossvane
