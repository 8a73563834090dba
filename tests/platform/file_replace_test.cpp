// Replacing a file atomically and durably, and clearing away what
// interrupted replacements left behind.
#include "platform/file_replace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/file_bytes.h"
#include "support/temp_folder.h"

namespace mossvane::platform {
namespace {

using mossvane::test::ReadFileBytes;

namespace fs = std::filesystem;

void WriteFile(const fs::path& file, std::string_view text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class FileReplaceTest : public ::testing::Test {
  protected:
    fs::path Folder() const { return m_folder.path(); }
    test::TempFolder m_folder;
};

TEST_F(FileReplaceTest, NewFileHoldsExactlyTheBytesAndNothingElseIsLeft) {
    const fs::path target = Folder() / "a.info";
    const std::string bytes("line\r\n\0\xFF end", 12);
    ASSERT_EQ(ReplaceFileDurably(target.u16string(), bytes, NewFileAccess::OwnerOnly), kSuccess);
    EXPECT_EQ(ReadFileBytes(target), bytes);
    EXPECT_EQ(Names(Folder()), std::vector<std::string>{"a.info"});
}

TEST_F(FileReplaceTest, ExistingFileIsReplacedWhole) {
    const fs::path target = Folder() / "hive.reg";
    WriteFile(target, std::string(10000, 'x'));
    ASSERT_EQ(ReplaceFileDurably(target.u16string(), "short", NewFileAccess::EveryoneReads),
              kSuccess);
    EXPECT_EQ(ReadFileBytes(target), "short");
    EXPECT_EQ(Names(Folder()), std::vector<std::string>{"hive.reg"});
}

TEST_F(FileReplaceTest, FailedReplaceLeavesTheTargetAndNoTemporary) {
    // A folder can't be replaced by a file: everything is written, then the
    // last step fails.
    const fs::path target = Folder() / "taken";
    fs::create_directory(target);
    WriteFile(target / "inside", "kept");
    EXPECT_NE(ReplaceFileDurably(target.u16string(), "new", NewFileAccess::OwnerOnly), kSuccess);
    EXPECT_EQ(Names(Folder()), std::vector<std::string>{"taken"});
    EXPECT_EQ(ReadFileBytes(target / "inside"), "kept");
}

TEST_F(FileReplaceTest, MissingFolderFailsWithoutLeavingAnything) {
    const fs::path target = Folder() / "missing" / "a.info";
    EXPECT_NE(ReplaceFileDurably(target.u16string(), "x", NewFileAccess::OwnerOnly), kSuccess);
    EXPECT_TRUE(Names(Folder()).empty());
}

#ifndef _WIN32
TEST_F(FileReplaceTest, ModesOfNewAndReplacedFiles) {
    const fs::path own = Folder() / "own";
    const fs::path shared = Folder() / "shared";
    ASSERT_EQ(ReplaceFileDurably(own.u16string(), "x", NewFileAccess::OwnerOnly), kSuccess);
    ASSERT_EQ(ReplaceFileDurably(shared.u16string(), "x", NewFileAccess::EveryoneReads), kSuccess);
    EXPECT_EQ(fs::status(own).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(shared).permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                    fs::perms::group_read | fs::perms::others_read);
    // A file that is there keeps its permissions.
    fs::permissions(own, fs::perms::owner_all | fs::perms::group_read);
    ASSERT_EQ(ReplaceFileDurably(own.u16string(), "y", NewFileAccess::OwnerOnly), kSuccess);
    EXPECT_EQ(fs::status(own).permissions(), fs::perms::owner_all | fs::perms::group_read);
}
#endif

struct StaleCase {
    const char* name;
    const char* fileName;
    std::chrono::minutes age;
    bool removed;
};

void PrintTo(const StaleCase& stale, std::ostream* out) {
    *out << stale.name;
}

class StaleTemporaryTest : public FileReplaceTest,
                           public ::testing::WithParamInterface<StaleCase> {};

TEST_P(StaleTemporaryTest, OnlyOldTemporariesOfThatFileGo) {
    const fs::path target = Folder() / "machine.reg";
    WriteFile(target, "hive");
    const fs::path other = Folder() / GetParam().fileName;
    WriteFile(other, "left over");
    fs::last_write_time(other, fs::file_time_type::clock::now() - GetParam().age);
    RemoveStaleTemporaries(target.u16string(), std::chrono::seconds(60));
    EXPECT_EQ(fs::exists(other), !GetParam().removed);
    EXPECT_EQ(ReadFileBytes(target), "hive");
}

using std::chrono::minutes;

INSTANTIATE_TEST_SUITE_P(
    Names, StaleTemporaryTest,
    ::testing::Values(StaleCase{"OldTemporary", "machine.reg.a1B2c3", minutes(2), true},
                      StaleCase{"YoungTemporary", "machine.reg.a1B2c3", minutes(0), false},
                      StaleCase{"LockFile", "machine.reg.lock", minutes(2), false},
                      StaleCase{"OtherHivesTemporary", "user.reg.a1B2c3", minutes(2), false},
                      StaleCase{"SuffixTooLong", "machine.reg.a1B2c3d", minutes(2), false},
                      StaleCase{"SuffixNotAlphanumeric", "machine.reg.a1-2c3", minutes(2), false}),
    [](const ::testing::TestParamInfo<StaleCase>& info) { return info.param.name; });

}  // namespace
}  // namespace mossvane::platform
