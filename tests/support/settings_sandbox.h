// Gives a test a settings store of its own and a temporary folder for its
// files. On POSIX the store is a set of .reg files: XDG_CONFIG_HOME,
// XDG_DATA_HOME, XDG_RUNTIME_DIR and MOSSVANE_MACHINE_REG point into the
// temporary folder while the sandbox lives. On Windows (a private Wine
// prefix) the registry is the real one, so the per-user keys the test names
// are deleted when the sandbox is made and again when it goes away; tests
// that use one must be SERIAL.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/sandbox_environment.h"
#include "support/temp_folder.h"

namespace mossvane::test {

class SettingsSandbox {
  public:
    // userKeys: paths below HKEY_CURRENT_USER, each without subkeys.
    explicit SettingsSandbox(std::vector<std::u16string> userKeys = {});
    ~SettingsSandbox();
    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;

    // A fresh folder for the test's own files.
    std::filesystem::path FilesFolder() const { return m_folder.path() / "files"; }

  private:
    void DeleteUserKeys() const;

    TempFolder m_folder;
    std::unique_ptr<SandboxEnvironment> m_environment;
    std::vector<std::u16string> m_userKeys;
};

}  // namespace mossvane::test
