// The install run by a user who may not write the machine-wide hive.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "app/install_settings.h"
#include "support/debug_capture.h"
#include "support/file_bytes.h"
#include "support/settings_sandbox.h"

namespace mossvane {
namespace {

using mossvane::test::ReadFileBytes;

TEST(UnwritableHiveTest, InstallChangesNothingAndSaysWhy) {
    test::SettingsSandbox sandbox;
    const std::filesystem::path folder = sandbox.FilesFolder();
    // A hive below a plain file can be neither read nor written, whoever
    // runs the test (permission bits don't stop root).
    std::ofstream(folder / "blocker") << "not a folder";
    const std::filesystem::path hive = folder / "blocker" / "machine.reg";
    setenv("MOSSVANE_MACHINE_REG", hive.c_str(), 1);
    std::ofstream(folder / "s.xml")
        << "<r><DefaultValue><DevmodeList>a;b</DevmodeList></DefaultValue></r>";

    test::DebugCapture capture;
    InstallDefaults((folder / "s.xml").u16string());
    ASSERT_TRUE(capture.Sync());

    EXPECT_EQ(ReadFileBytes(folder / "blocker"), "not a folder");
    std::string errors;
    for (const std::string& text : capture.Texts()) errors += text;
    EXPECT_NE(errors.find("mossvane: cannot write the machine-wide settings: "), std::string::npos)
        << errors;
}

TEST(UnwritableHiveTest, UnreadableFileIsReported) {
    test::SettingsSandbox sandbox;
    const std::filesystem::path missing = sandbox.FilesFolder() / "missing.xml";
    test::DebugCapture capture;
    InstallDefaults(missing.u16string());
    ASSERT_TRUE(capture.Sync());
    std::string errors;
    for (const std::string& text : capture.Texts()) errors += text;
    EXPECT_NE(
        errors.find("mossvane: cannot read settings file '" + missing.string() + "': no such file"),
        std::string::npos)
        << errors;
    EXPECT_FALSE(std::filesystem::exists(getenv("MOSSVANE_MACHINE_REG")));
}

}  // namespace
}  // namespace mossvane
