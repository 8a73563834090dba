// A private data folder for job spool tests: the settings store is the
// test's own, "PrintFolderPath" names a fresh temporary folder, and the
// folder's files can be listed and read back.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "support/file_bytes.h"
#include "support/settings_sandbox.h"
#include "support/temp_folder.h"

namespace mossvane::test {

// Line ends as the information file has them on this platform.
#ifdef _WIN32
inline constexpr char kTextLineEnd[] = "\r\n";
#else
inline constexpr char kTextLineEnd[] = "\n";
#endif

// Stores "PrintFolderPath" with exactly these bytes and type.
void SetPrintFolderValue(platform::RegistryRoot root, std::uint32_t type,
                         const std::vector<std::uint8_t>& bytes);
// Stores the text with its terminator as REG_SZ.
void SetPrintFolderText(platform::RegistryRoot root, const std::u16string& text);
// Makes the user's driver plug-in key without any value.
void CreateUserKey();
// Removes the user's or the machine's driver plug-in key.
void DeleteUserKey();
void DeleteMachineKey();

// The files in `folder` whose names end with `extension`, sorted.
std::vector<std::filesystem::path> FilesEndingWith(const std::filesystem::path& folder,
                                                   const std::string& extension);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

class SpoolFolderTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The job folder that "PrintFolderPath" names.
    const std::filesystem::path& jobs() const { return m_jobs.path(); }

  private:
    std::unique_ptr<SettingsSandbox> m_sandbox;
    TempFolder m_jobs;
};

}  // namespace mossvane::test
