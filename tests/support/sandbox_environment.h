// The backend half of SettingsSandbox: points the settings store into a
// folder for as long as the returned object lives.
#pragma once

#include <filesystem>
#include <memory>

namespace mossvane::test {

class SandboxEnvironment {
  public:
    virtual ~SandboxEnvironment() = default;
};

std::unique_ptr<SandboxEnvironment> IsolateSettingsStore(const std::filesystem::path& folder);

}  // namespace mossvane::test
