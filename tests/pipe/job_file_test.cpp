// Where job files go and what they are named.
#include "pipe/job_file.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "pipe/job_info.h"
#include "spool_fixture.h"
#include "support/debug_capture.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace mossvane {
namespace {

using namespace test;  // the spool folder helpers

using platform::RegistryRoot;
using platform::reg_type::kDword;
using platform::reg_type::kExpandSz;
using platform::reg_type::kSz;

constexpr char kCannotReadLine[] = "[PI][PISettingPage] Cannot read PrintFolderPath";

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return std::vector<std::uint8_t>(bytes, bytes + text.size() * 2);
}

TEST(JobFileNameTest, IsTheUtcSecondAndTheJobNumberModuloTenThousand) {
    const platform::UtcTime time{2026, 12, 7, 21, 58, 3, 999};
    EXPECT_EQ(FormatJobFileName(time, 12), u"202612072158030012");
    EXPECT_EQ(FormatJobFileName(time, 123456), u"202612072158033456");
    EXPECT_EQ(FormatJobFileName(platform::UtcTime{987, 1, 2, 3, 4, 5, 0}, 10000),
              u"098701020304050000");
}

enum class Folder { Configured, Empty, Default };

struct FolderCase {
    const char* name;
    void (*arrange)(const std::u16string& jobs);
    Folder expected;
    bool cannotRead;
};

void PrintTo(const FolderCase& folderCase, std::ostream* out) {
    *out << folderCase.name;
}

class PrintFolderPathTest : public test::SpoolFolderTest,
                            public ::testing::WithParamInterface<FolderCase> {};

TEST_P(PrintFolderPathTest, FollowsTheRegistryOrFallsBackToTheDefault) {
    GetParam().arrange(jobs().u16string());
    test::DebugCapture capture;
    std::u16string folder = u"stale";
    EXPECT_EQ(GetPrintFolderPath(folder), platform::kSuccess);
    ASSERT_TRUE(capture.Sync());
    std::string trace;
    for (const std::string& text : capture.Texts()) trace += text;
    EXPECT_EQ(trace.find(kCannotReadLine) != std::string::npos, GetParam().cannotRead) << trace;

    switch (GetParam().expected) {
        case Folder::Configured:
            EXPECT_EQ(std::filesystem::path(folder), jobs());
            break;
        case Folder::Empty:
            EXPECT_TRUE(folder.empty());
            break;
        case Folder::Default: {
            const std::filesystem::path path(folder);
            EXPECT_EQ(path.filename(), "PlugInPrnData");
            EXPECT_EQ(path.parent_path().filename(), "VARNOCK");
            EXPECT_TRUE(std::filesystem::is_directory(path));
#ifndef _WIN32
            EXPECT_EQ(path.parent_path().parent_path(), std::getenv("XDG_DATA_HOME"));
            for (const auto& created : {path, path.parent_path()}) {
                struct stat info {};
                ASSERT_EQ(stat(created.c_str(), &info), 0);
                EXPECT_EQ(info.st_mode & 0777, 0700u) << created;
            }
#endif
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, PrintFolderPathTest,
    ::testing::Values(
        FolderCase{"UserValueIsTheFolder", [](const std::u16string&) {}, Folder::Configured, false},
        FolderCase{
            "EmptyTextWithTerminator",
            [](const std::u16string&) { SetPrintFolderText(RegistryRoot::CurrentUser, u""); },
            Folder::Empty, false},
        FolderCase{
            "ValueWithoutData",
            [](const std::u16string&) { SetPrintFolderValue(RegistryRoot::CurrentUser, kSz, {}); },
            Folder::Default, false},
        FolderCase{"ExpandableTextTakenLiterally",
                   [](const std::u16string& jobs) {
                       SetPrintFolderValue(RegistryRoot::CurrentUser, kExpandSz,
                                           Utf16Bytes(jobs + u'\0'));
                   },
                   Folder::Configured, false},
        FolderCase{"MachineValueIgnoredWhileTheUserKeyExists",
                   [](const std::u16string& jobs) {
                       CreateUserKey();
                       SetPrintFolderText(RegistryRoot::LocalMachine, jobs);
                   },
                   Folder::Default, true},
        FolderCase{"MachineValueWhenTheUserHasNoKey",
                   [](const std::u16string& jobs) {
                       DeleteUserKey();
                       SetPrintFolderText(RegistryRoot::LocalMachine, jobs);
                   },
                   Folder::Configured, false},
        FolderCase{"NoKeyAnywhere",
                   [](const std::u16string&) {
                       DeleteUserKey();
                       DeleteMachineKey();
                   },
                   Folder::Default, false},
        FolderCase{"NumberInsteadOfText",
                   [](const std::u16string&) {
                       SetPrintFolderValue(RegistryRoot::CurrentUser, kDword, {1, 0, 0, 0});
                   },
                   Folder::Default, true},
        FolderCase{"TextWithoutTerminator",
                   [](const std::u16string& jobs) {
                       SetPrintFolderValue(RegistryRoot::CurrentUser, kSz, Utf16Bytes(jobs));
                   },
                   Folder::Default, true},
        FolderCase{"OddNumberOfBytes",
                   [](const std::u16string&) {
                       SetPrintFolderValue(RegistryRoot::CurrentUser, kSz, {'a', 0, 0});
                   },
                   Folder::Default, true},
        FolderCase{"LongerThanAPath",
                   [](const std::u16string&) {
                       SetPrintFolderText(RegistryRoot::CurrentUser, std::u16string(260, u'a'));
                   },
                   Folder::Default, true}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return info.param.name; });

#ifndef _WIN32
class JobFileModeTest : public test::SpoolFolderTest {};

TEST_F(JobFileModeTest, JobAndInformationFilesAreTheUsersAlone) {
    std::u16string path;
    platform::JobFile file = CreateJobFile(1, path);
    ASSERT_TRUE(file.IsValid());
    file.Close();
    ASSERT_EQ(WriteJobInfo(path, u"a=1", 3), platform::kSuccess);
    for (const std::u16string& written : {path, JobInfoPathFor(path)}) {
        struct stat info {};
        ASSERT_EQ(stat(std::filesystem::path(written).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
    }
}
#endif

}  // namespace
}  // namespace mossvane
