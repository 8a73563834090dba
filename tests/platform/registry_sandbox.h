// A private corner of the settings store for one test. On Windows it is a
// scratch key under Software\MossvaneTest in both roots, deleted afterwards;
// elsewhere it is a fresh temporary folder that the settings-store variables
// (XDG_CONFIG_HOME, MOSSVANE_MACHINE_REG, ...) point into for the test's
// lifetime, so the user's real files are never touched.
#pragma once

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

namespace mossvane::platform::test {

inline constexpr std::u16string_view kSandboxParentKey = u"Software\\MossvaneTest";

// Sixteen random hexadecimal digits, so sandboxes of concurrent runs differ.
inline std::u16string RandomSuffix() {
    std::random_device device;
    std::uint64_t number = (std::uint64_t{device()} << 32) | device();
    std::u16string digits;
    for (int i = 0; i < 16; ++i, number >>= 4) digits.push_back(u"0123456789abcdef"[number & 15]);
    return digits;
}

class RegistrySandbox {
  public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // A key path below either root that belongs to this sandbox alone.
    const std::u16string& BasePath() const { return m_basePath; }

    // Whether the store is made of files (then the paths below are set).
    bool UsesFiles() const { return !m_folder.empty(); }
    const std::filesystem::path& Folder() const { return m_folder; }
    std::filesystem::path UserHiveFile() const;
    std::filesystem::path MachineHiveFile() const;

  private:
    std::u16string m_basePath;
    std::filesystem::path m_folder;
};

}  // namespace mossvane::platform::test
