#include "l10n/program_paths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/system_info.h"
#include "support/temp_folder.h"

namespace mossvane {
namespace {

TEST(PathBesideProgramTest, IsTheExecutablesFolderAndTheName) {
    const std::u16string folder = platform::ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(PathBesideProgram(u"localization.xml"), folder + u"localization.xml");
}

TEST(PathBesideProgramTest, PathsOf260CharactersOrMoreAreRefused) {
    const std::u16string folder = platform::ExecutableFolder();
    ASSERT_LT(folder.size(), 250u);
    const std::u16string longest(259 - folder.size(), u'n');
    EXPECT_EQ(PathBesideProgram(longest), folder + longest);
    EXPECT_EQ(PathBesideProgram(longest + u'n'), u"");
}

TEST(PathInFolderTest, NoFolderGivesNoPath) {
    EXPECT_EQ(PathInFolder(u"", u"localization.xml"), u"");
    EXPECT_EQ(PathInFolder(u"/a/", u"b"), u"/a/b");
}

TEST(IsExistingFileTest, OnlyFilesCount) {
    const test::TempFolder temp;
    const std::filesystem::path file = temp.path() / "file.xml";
    std::ofstream(file) << "x";
    EXPECT_TRUE(IsExistingFile(file.u16string()));
    EXPECT_FALSE(IsExistingFile(temp.path().u16string()));
    EXPECT_FALSE(IsExistingFile((temp.path() / "missing.xml").u16string()));
    EXPECT_FALSE(IsExistingFile(u""));
}

}  // namespace
}  // namespace mossvane
