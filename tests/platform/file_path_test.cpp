// Every file call of the platform layer refuses, before it reaches the
// system, a path the system would cut short at a null character or could
// not take at all, on both backends alike.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_contents.h"
#include "platform/file_replace.h"
#include "platform/spool_files.h"
#include "support/temp_folder.h"

namespace mossvane::platform {
namespace {

namespace fs = std::filesystem;

struct FileCall {
    const char* name;
    std::function<ErrorCode(std::u16string_view path)> call;
};

void PrintTo(const FileCall& fileCall, std::ostream* out) {
    *out << fileCall.name;
}

class FilePathTest : public ::testing::TestWithParam<FileCall> {
  protected:
    test::TempFolder m_folder;
};

TEST_P(FilePathTest, PathWithANullIsRefusedAndNothingIsMade) {
    const std::u16string path = (m_folder.path() / "a").u16string() + u'\0' + u"b";
    EXPECT_EQ(GetParam().call(path), kInvalidParameter);
    EXPECT_TRUE(fs::is_empty(m_folder.path()));
}

TEST_P(FilePathTest, EmptyPathIsNotFound) {
    EXPECT_EQ(GetParam().call(u""), kPathNotFound);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FilePathTest,
    ::testing::Values(
        FileCall{"CreateFolder", [](std::u16string_view path) { return CreateFolder(path); }},
        FileCall{"CreateJobFile",
                 [](std::u16string_view path) {
                     JobFile file;
                     return JobFile::CreateNew(path, file);
                 }},
        FileCall{"PublishTextFile",
                 [](std::u16string_view path) { return PublishTextFile(path, "x"); }},
        FileCall{"CheckNameIsFree", [](std::u16string_view path) { return CheckNameIsFree(path); }},
        FileCall{"ReplaceFileDurably",
                 [](std::u16string_view path) {
                     return ReplaceFileDurably(path, "x", NewFileAccess::OwnerOnly);
                 }},
        FileCall{"ReadWholeFile",
                 [](std::u16string_view path) {
                     std::vector<std::uint8_t> contents;
                     return ReadWholeFile(path, 1, contents);
                 }}),
    [](const ::testing::TestParamInfo<FileCall>& info) { return info.param.name; });

TEST(JobFileTest, ClosedFileTakesNoData) {
    JobFile file;
    EXPECT_EQ(file.AppendAtEnd("x", 1), kInvalidHandle);
    EXPECT_EQ(file.FlushAndClose(), kInvalidHandle);
}

}  // namespace
}  // namespace mossvane::platform
