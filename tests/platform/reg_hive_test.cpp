// The .reg files behind the settings store on POSIX: what they look like,
// files written by people, concurrent writers, and hives that can't be
// written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "platform/posix/reg_hive.h"
#include "platform/registry.h"
#include "platform/utf8.h"
#include "registry_sandbox.h"
#include "support/file_bytes.h"

namespace mossvane::platform {
namespace {

using mossvane::test::ReadFileBytes;

namespace fs = std::filesystem;

void WriteFile(const fs::path& file, std::string_view text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

mode_t ModeOf(const fs::path& file) {
    struct stat info {};
    EXPECT_EQ(stat(file.c_str(), &info), 0);
    return info.st_mode & 07777;
}

std::vector<std::uint8_t> Utf16Le(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t unit : text)
        bytes.insert(bytes.end(), {std::uint8_t(unit), std::uint8_t(unit >> 8)});
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

class RegHiveTest : public ::testing::Test {
  protected:
    RegistryKey Create(std::u16string_view relative,
                       RegistryRoot root = RegistryRoot::CurrentUser) {
        RegistryKey key;
        EXPECT_EQ(RegistryKey::Create(root, PathOf(relative), RegistryAccess::ReadWrite, key),
                  kSuccess);
        return key;
    }

    std::u16string PathOf(std::u16string_view relative) const {
        return m_sandbox.BasePath() + u"\\" + std::u16string(relative);
    }

    // The section line of a key below the sandbox in the user hive.
    std::string SectionOf(std::u16string_view relative) const {
        return "\n[HKEY_CURRENT_USER\\" + Utf16ToUtf8(PathOf(relative)) + "]\n";
    }

    static void SetText(RegistryKey& key, std::u16string_view name, std::u16string_view text) {
        const auto bytes = Utf16Le(text);
        EXPECT_EQ(key.SetValue(name, reg_type::kSz, bytes.data(), bytes.size()), kSuccess);
    }

    test::RegistrySandbox m_sandbox;
};

TEST_F(RegHiveTest, FileHoldsTheHeaderSectionsAndOneValuePerLine) {
    RegistryKey key = Create(u"Text");
    SetText(key, u"Name", u"Value");
    SetText(key, u"", u"default");
    const std::uint32_t count = 42;
    ASSERT_EQ(key.SetValue(u"Count", reg_type::kDword, &count, 4), kSuccess);
    const std::uint8_t odd[] = {0x41, 0x00, 0x42};
    ASSERT_EQ(key.SetValue(u"Odd", reg_type::kSz, odd, 3), kSuccess);
    const std::uint8_t percent[] = {0x25, 0x00, 0x00, 0x00};
    ASSERT_EQ(key.SetValue(u"Path", reg_type::kExpandSz, percent, 4), kSuccess);
    ASSERT_EQ(key.SetValue(u"Odd type", 0x12345, percent, 1), kSuccess);

    const std::string text = ReadFileBytes(m_sandbox.UserHiveFile());
    EXPECT_TRUE(text.starts_with("Windows Registry Editor Version 5.00\n")) << text;
    EXPECT_NE(text.find("\n[HKEY_CURRENT_USER\\Software]\n"), std::string::npos) << text;
    EXPECT_NE(text.find(SectionOf(u"Text") + "\"Name\"=\"Value\"\n"
                                             "@=\"default\"\n"
                                             "\"Count\"=dword:0000002a\n"
                                             "\"Odd\"=hex(1):41,00,42\n"
                                             "\"Path\"=hex(2):25,00,00,00\n"
                                             "\"Odd type\"=hex(12345):25\n"),
              std::string::npos)
        << text;
}

TEST_F(RegHiveTest, QuotesBackslashesAndLineBreaksAreEscaped) {
    RegistryKey key = Create(u"Escapes");
    SetText(key, u"say \"hi\"\\now", u"C:\\dir\\\"x\"\r\n");
    const std::string text = ReadFileBytes(m_sandbox.UserHiveFile());
    EXPECT_NE(text.find("\n\"say \\\"hi\\\"\\\\now\"=\"C:\\\\dir\\\\\\\"x\\\"\\r\\n\"\n"),
              std::string::npos)
        << text;
}

TEST_F(RegHiveTest, NonAsciiNamesAndTextsAreWrittenAsUtf8) {
    RegistryKey key = Create(u"Stra\u00DFe");
    SetText(key, u"Gr\u00F6\u00DFe", u"\u6771\u4EAC \U0001F600");
    const std::string text = ReadFileBytes(m_sandbox.UserHiveFile());
    EXPECT_NE(text.find(SectionOf(u"Stra\u00DFe") +
                        "\"Gr\xC3\xB6\xC3\x9F"
                        "e\"=\"\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80\"\n"),
              std::string::npos)
        << text;
}

TEST_F(RegHiveTest, NamesKeepTheSpellingTheyWereCreatedWith) {
    RegistryKey key = Create(u"Mixed");
    SetText(key, u"IsPreparing", u"1");
    SetText(key, u"ISPREPARING", u"2");
    Create(u"MIXED\\Sub");
    const std::string text = ReadFileBytes(m_sandbox.UserHiveFile());
    EXPECT_NE(text.find("\"IsPreparing\"=\"2\"\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("ISPREPARING"), std::string::npos) << text;
    EXPECT_NE(text.find(SectionOf(u"Mixed\\Sub")), std::string::npos) << text;
}

TEST_F(RegHiveTest, FileWrittenByAPersonIsReadAndKeptOnRewrite) {
    const std::string base = Utf16ToUtf8(m_sandbox.BasePath());
    WriteFile(m_sandbox.UserHiveFile(),
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
              "\r\n"
              "; settings for the print helper\r\n"
              "[HKEY_CURRENT_USER\\" +
                  base +
                  "\\Plug In]\r\n"
                  "@=\"C:\\\\Jobs\"\r\n"
                  "\"IsPreparing\" = dword:00000001\r\n"
                  "\"List\"=hex(7):61,00,00,00,\\\r\n"
                  "  62,00,00,00,00,00\r\n");

    RegistryKey key;
    ASSERT_EQ(RegistryKey::Open(RegistryRoot::CurrentUser, PathOf(u"plug in"),
                                RegistryAccess::ReadWrite, key),
              kSuccess);
    RegistryValue value;
    ASSERT_EQ(key.QueryValue(u"", value), kSuccess);
    EXPECT_EQ(value.data, Utf16Le(u"C:\\Jobs"));
    ASSERT_EQ(key.QueryValue(u"isPreparing", value), kSuccess);
    EXPECT_EQ(value.type, reg_type::kDword);
    EXPECT_EQ(value.data, (std::vector<std::uint8_t>{1, 0, 0, 0}));

    SetText(key, u"Added", u"x");
    ASSERT_EQ(key.QueryValue(u"List", value), kSuccess);
    EXPECT_EQ(value.type, reg_type::kMultiSz);
    EXPECT_EQ(value.data, (std::vector<std::uint8_t>{0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}));
}

// A hive file as a person writes it: one key with one DWORD value.
std::string HiveWithNumber(const std::u16string& key, char digit) {
    return "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\" + Utf16ToUtf8(key) +
           "]\n\"N\"=dword:0000000" + digit + "\n";
}

std::uint8_t QueryNumber(const RegistryKey& key) {
    RegistryValue value;
    EXPECT_EQ(key.QueryValue(u"N", value), kSuccess);
    return value.data.empty() ? 0 : value.data[0];
}

TEST_F(RegHiveTest, HandEditsInPlaceAreSeenAtOnceEvenWhenTheSizeStaysTheSame) {
    const fs::path file = m_sandbox.UserHiveFile();
    WriteFile(file, HiveWithNumber(PathOf(u"K"), '1'));
    RegistryKey key;
    ASSERT_EQ(RegistryKey::Open(RegistryRoot::CurrentUser, PathOf(u"K"), RegistryAccess::Read, key),
              kSuccess);
    for (char digit : {'2', '3', '4'}) {
        // Rewritten in place: same file, same size, within one clock tick.
        WriteFile(file, HiveWithNumber(PathOf(u"K"), digit));
        EXPECT_EQ(QueryNumber(key), digit - '0');
    }
}

TEST_F(RegHiveTest, UnchangedSettledFileIsParsedOnceAndAChangeIsSeen) {
    const fs::path file = m_sandbox.UserHiveFile();
    WriteFile(file, HiveWithNumber(PathOf(u"K"), '1'));
    posix::HiveLocation hive;
    ASSERT_EQ(posix::LocateHive(RegistryRoot::CurrentUser, hive), kSuccess);
    // A file that has just changed is parsed at every read; a couple of
    // seconds later one parse serves every read.
    std::shared_ptr<const posix::RegFile> first, second;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    do {
        ASSERT_EQ(posix::ReadHiveShared(hive, first), kSuccess);
        ASSERT_EQ(posix::ReadHiveShared(hive, second), kSuccess);
        if (first == second) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    ASSERT_EQ(first, second);

    RegistryKey key = Create(u"K");
    SetText(key, u"Added", u"x");
    ASSERT_EQ(posix::ReadHiveShared(hive, second), kSuccess);
    EXPECT_NE(first, second);
    EXPECT_EQ(QueryNumber(key), 1);
    fs::remove(file);
    ASSERT_EQ(posix::ReadHiveShared(hive, second), kSuccess);
    EXPECT_TRUE(second->sections.empty());
}

TEST_F(RegHiveTest, DamagedFileIsNeitherReadNorOverwritten) {
    const std::string damaged =
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:zz\n";
    WriteFile(m_sandbox.UserHiveFile(), damaged);
    RegistryKey key;
    EXPECT_EQ(RegistryKey::Open(RegistryRoot::CurrentUser, u"A", RegistryAccess::Read, key),
              kBadDatabase);
    EXPECT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, u"B", RegistryAccess::ReadWrite, key),
              kBadDatabase);
    EXPECT_EQ(ReadFileBytes(m_sandbox.UserHiveFile()), damaged);
}

TEST_F(RegHiveTest, UserHiveIsPrivateAndNoTemporaryFileIsLeft) {
    RegistryKey key = Create(u"Private");
    SetText(key, u"Name", u"Value");
    EXPECT_EQ(ModeOf(m_sandbox.UserHiveFile().parent_path()), 0700u);
    EXPECT_EQ(ModeOf(m_sandbox.UserHiveFile()), 0600u);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_sandbox.UserHiveFile().parent_path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"user.reg", "user.reg.lock"}));
}

// A writer killed between creating its temporary and renaming it leaves the
// temporary behind; the next write of that hive clears it once it is stale.
TEST_F(RegHiveTest, TemporaryOfAnInterruptedWriteGoesWithTheNextWrite) {
    const fs::path folder = m_sandbox.UserHiveFile().parent_path();
    WriteFile(m_sandbox.UserHiveFile(), "Windows Registry Editor Version 5.00\n");
    const fs::path stale = folder / "user.reg.Ab12Cd";
    const fs::path young = folder / "user.reg.Ef34Gh";
    WriteFile(stale, "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Torn");
    WriteFile(young, "being written");
    fs::last_write_time(stale, fs::file_time_type::clock::now() - std::chrono::minutes(5));
    RegistryKey key = Create(u"AfterCrash");
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(young));
}

TEST_F(RegHiveTest, LinkedHiveIsUpdatedWhereItPoints) {
    const fs::path target = m_sandbox.Folder() / "dotfiles" / "user.reg";
    WriteFile(target, "Windows Registry Editor Version 5.00\n");
    fs::create_directories(m_sandbox.UserHiveFile().parent_path());
    fs::create_symlink(target, m_sandbox.UserHiveFile());
    RegistryKey key = Create(u"Linked");
    SetText(key, u"Name", u"Value");
    EXPECT_TRUE(fs::is_symlink(m_sandbox.UserHiveFile()));
    EXPECT_NE(ReadFileBytes(target).find("\"Name\"=\"Value\""), std::string::npos);
}

// Returns the child's exit status, or -1 when it hasn't ended by the deadline
// (the child is then killed).
int WaitForChild(pid_t child, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr int kValuesPerWriter = 200;

// Runs in a forked child: its own key, one read-modify-write per value.
int WriteValues(const std::u16string& path, char16_t writer) {
    RegistryKey key;
    if (RegistryKey::Open(RegistryRoot::CurrentUser, path, RegistryAccess::ReadWrite, key) !=
        kSuccess) {
        return 2;
    }
    for (std::uint32_t i = 0; i < kValuesPerWriter; ++i) {
        const std::u16string name = std::u16string(1, writer) + Utf8ToUtf16(std::to_string(i));
        if (key.SetValue(name, reg_type::kDword, &i, sizeof i) != kSuccess) return 1;
    }
    return 0;
}

TEST_F(RegHiveTest, TwoProcessesWritingAtOnceLoseNothing) {
    Create(u"Busy");
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0) _exit(WriteValues(PathOf(u"Busy"), i == 0 ? u'a' : u'b'));
    }
    EXPECT_EQ(WaitForChild(children[0], std::chrono::seconds(240)), 0);
    EXPECT_EQ(WaitForChild(children[1], std::chrono::seconds(240)), 0);

    RegistryKey key = Create(u"Busy");
    int found = 0;
    for (const char16_t writer : {u'a', u'b'}) {
        for (std::uint32_t i = 0; i < kValuesPerWriter; ++i) {
            std::uint32_t number = ~0u;
            std::uint32_t size = sizeof number;
            const std::u16string name = std::u16string(1, writer) + Utf8ToUtf16(std::to_string(i));
            found += key.QueryValueInto(name, &number, size) == kSuccess && number == i;
        }
    }
    EXPECT_EQ(found, 2 * kValuesPerWriter);
}

// A reader must always see a whole hive, the old one or the new one: never a
// missing or half-written file.
TEST_F(RegHiveTest, ReaderNeverSeesAHiveBeingRewritten) {
    RegistryKey key = Create(u"Busy");
    SetText(key, u"Anchor", u"present");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(WriteValues(PathOf(u"Busy"), u'w'));

    int reads = 0;
    int failures = 0;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
    while (waitpid(child, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline) {
        RegistryKey reader;
        RegistryValue value;
        ++reads;
        failures += RegistryKey::Open(RegistryRoot::CurrentUser, PathOf(u"Busy"),
                                      RegistryAccess::Read, reader) != kSuccess ||
                    reader.QueryValue(u"Anchor", value) != kSuccess;
    }
    EXPECT_EQ(WaitForChild(child, std::chrono::seconds(10)), 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(failures, 0) << "of " << reads << " reads";
}

TEST_F(RegHiveTest, MachineHiveThatCannotBeWrittenRefusesWriteAccess) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write any file";
    RegistryKey key = Create(u"Locked", RegistryRoot::LocalMachine);
    SetText(key, u"Name", u"Value");
    fs::permissions(m_sandbox.MachineHiveFile(), fs::perms::owner_read);
    fs::permissions(m_sandbox.MachineHiveFile().parent_path(),
                    fs::perms::owner_read | fs::perms::owner_exec);

    RegistryKey reader;
    EXPECT_EQ(RegistryKey::Open(RegistryRoot::LocalMachine, PathOf(u"Locked"), RegistryAccess::Read,
                                reader),
              kSuccess);
    RegistryKey writer;
    for (const RegistryAccess access : {RegistryAccess::ReadWrite, RegistryAccess::All}) {
        EXPECT_EQ(RegistryKey::Open(RegistryRoot::LocalMachine, PathOf(u"Locked"), access, writer),
                  kAccessDenied);
    }
    EXPECT_EQ(RegistryKey::Create(RegistryRoot::LocalMachine, PathOf(u"New"),
                                  RegistryAccess::ReadWrite, writer),
              kAccessDenied);
    const auto bytes = Utf16Le(u"changed");
    EXPECT_EQ(key.SetValue(u"Name", reg_type::kSz, bytes.data(), bytes.size()), kAccessDenied);
    RegistryValue value;
    ASSERT_EQ(reader.QueryValue(u"Name", value), kSuccess);
    EXPECT_EQ(value.data, Utf16Le(u"Value"));
}

}  // namespace
}  // namespace mossvane::platform
