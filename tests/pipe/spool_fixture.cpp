#include "spool_fixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "l10n/l10n_constants.h"
#include "pipe/job_file.h"

namespace mossvane::test {

namespace {

// Under Wine the machine hive is the prefix's own and outlives the test.
void DeleteMachineValue() {
    platform::RegistryKey key;
    if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                                    platform::RegistryAccess::ReadWrite,
                                    key) == platform::kSuccess) {
        key.DeleteValue(kPrintFolderPathValue);
    }
}

}  // namespace

void SpoolFolderTest::SetUp() {
    m_sandbox =
        std::make_unique<SettingsSandbox>(std::vector<std::u16string>{l10n::kPlugInKeyPath});
    DeleteMachineValue();
    SetPrintFolderText(platform::RegistryRoot::CurrentUser, jobs().u16string());
}

void SpoolFolderTest::TearDown() {
    DeleteMachineValue();
    m_sandbox.reset();
}

void SetPrintFolderValue(platform::RegistryRoot root, std::uint32_t type,
                         const std::vector<std::uint8_t>& bytes) {
    platform::RegistryKey key;
    ASSERT_EQ(platform::RegistryKey::Create(root, l10n::kPlugInKeyPath,
                                            platform::RegistryAccess::ReadWrite, key),
              platform::kSuccess);
    ASSERT_EQ(key.SetValue(kPrintFolderPathValue, type, bytes.data(), bytes.size()),
              platform::kSuccess);
}

void SetPrintFolderText(platform::RegistryRoot root, const std::u16string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
    SetPrintFolderValue(root, platform::reg_type::kSz,
                        std::vector<std::uint8_t>(bytes, bytes + (text.size() + 1) * 2));
}

void CreateUserKey() {
    platform::RegistryKey key;
    ASSERT_EQ(
        platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, l10n::kPlugInKeyPath,
                                      platform::RegistryAccess::ReadWrite, key),
        platform::kSuccess);
    key.DeleteValue(kPrintFolderPathValue);
}

namespace {

void DeletePlugInKey(platform::RegistryRoot root) {
    const std::u16string path = l10n::kPlugInKeyPath;
    const std::size_t split = path.rfind(u'\\');
    platform::RegistryKey parent;
    if (platform::RegistryKey::Open(root, path.substr(0, split), platform::RegistryAccess::All,
                                    parent) != platform::kSuccess) {
        return;  // no parent, no key
    }
    const platform::ErrorCode error = parent.DeleteSubKey(path.substr(split + 1));
    EXPECT_TRUE(error == platform::kSuccess || error == platform::kFileNotFound) << error;
}

}  // namespace

void DeleteUserKey() {
    DeletePlugInKey(platform::RegistryRoot::CurrentUser);
}

void DeleteMachineKey() {
    DeletePlugInKey(platform::RegistryRoot::LocalMachine);
}

std::vector<std::filesystem::path> FilesEndingWith(const std::filesystem::path& folder,
                                                   const std::string& extension) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().filename().string().ends_with(extension)) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file << bytes;
}

}  // namespace mossvane::test
