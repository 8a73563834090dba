// Temporary information files that an ended process left in the job folder:
// which names count, and that only those old enough to be nobody's write in
// progress are removed when the next job is written there.
#include "pipe/stale_temporaries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/left_over_files.h"
#include "support/temp_folder.h"

namespace mossvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct NameCase {
    const char* name;
    const char16_t* fileName;
    bool isTemporary;
};

class TemporaryNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(TemporaryNameTest, OnlyInformationTemporariesCount) {
    EXPECT_EQ(IsJobInfoTemporaryName(GetParam().fileName), GetParam().isTemporary);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TemporaryNameTest,
    ::testing::Values(NameCase{"Written", u"202612072158030012.info.k3Xq9Z", true},
                      NameCase{"AnyJobName", u"a.info.ZZZZZZ", true},
                      NameCase{"InformationFile", u"202612072158030012.info", false},
                      NameCase{"JobFile", u"202612072158030012.prn", false},
                      NameCase{"JobFileTemporary", u"202612072158030012.prn.k3Xq9Z", false},
                      NameCase{"ShortSuffix", u"202612072158030012.info.k3Xq9", false},
                      NameCase{"LongSuffix", u"202612072158030012.info.k3Xq9Zz", false},
                      NameCase{"SignInSuffix", u"202612072158030012.info.k3-q9Z", false},
                      NameCase{"TextAfter", u"202612072158030012.info.k3Xq9Z.bak", false},
                      NameCase{"NoJobName", u".info.k3Xq9Z", false}),
    [](const auto& info) { return std::string(info.param.name); });

class LeftOverFilesTest : public ::testing::Test {
  protected:
    fs::path Make(const std::string& name, std::chrono::seconds age) {
        fs::path path = m_folder.path() / name;
        std::ofstream(path, std::ios::binary) << "<?xml";
        fs::last_write_time(path, fs::file_time_type::clock::now() - age);
        return path;
    }

    std::size_t Sweep() {
        return platform::RemoveLeftOverFiles(m_folder.path().u16string(), IsJobInfoTemporaryName,
                                             kStaleTemporaryAge);
    }

    test::TempFolder m_folder;
};

TEST_F(LeftOverFilesTest, RemovesOnlyOldTemporaries) {
    const fs::path stale = Make("202612072158030012.info.k3Xq9Z", kStaleTemporaryAge + 60s);
    const fs::path young = Make("202612072158030013.info.p0Lm2W", 0s);
    const fs::path oldJob = Make("202612072158030012.prn", kStaleTemporaryAge + 60s);
    const fs::path oldOther = Make("notes.tmp1_1", kStaleTemporaryAge + 60s);
    EXPECT_EQ(Sweep(), 1u);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(young)) << "may be a write in progress";
    EXPECT_TRUE(fs::exists(oldJob));
    EXPECT_TRUE(fs::exists(oldOther));
}

TEST_F(LeftOverFilesTest, FoldersWithTheNameAreLeftAlone) {
    const fs::path folder = m_folder.path() / "202612072158030012.info.k3Xq9Z";
    fs::create_directory(folder);
    std::error_code error;
    fs::last_write_time(folder, fs::file_time_type::clock::now() - kStaleTemporaryAge - 60s, error);
    // Under Wine a folder's time can't be set this way; a young folder
    // would prove nothing.
    if (error) GTEST_SKIP() << "can't age a folder here: " << error.message();
    EXPECT_EQ(Sweep(), 0u);
    EXPECT_TRUE(fs::exists(folder));
}

TEST_F(LeftOverFilesTest, MissingFolderRemovesNothing) {
    EXPECT_EQ(platform::RemoveLeftOverFiles((m_folder.path() / "absent").u16string(),
                                            IsJobInfoTemporaryName, kStaleTemporaryAge),
              0u);
}

}  // namespace
}  // namespace mossvane
