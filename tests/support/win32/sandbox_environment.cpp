// SettingsSandbox on Windows: the tests run in a private Wine prefix whose
// registry stands in for the user's, so there is nothing to redirect; the
// sandbox only resets the keys the test names.
#include "support/sandbox_environment.h"

namespace mossvane::test {

std::unique_ptr<SandboxEnvironment> IsolateSettingsStore(const std::filesystem::path& /*folder*/) {
    return std::make_unique<SandboxEnvironment>();
}

}  // namespace mossvane::test
