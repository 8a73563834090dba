// SettingsSandbox on POSIX: the settings store and the user's folders are
// files named by environment variables, which the registry backend reads on
// every use; they point into the sandbox's folder until it goes away.
#include <stdlib.h>
#include <sys/stat.h>

#include <array>
#include <optional>
#include <string>

#include "support/sandbox_environment.h"

namespace mossvane::test {

namespace {

struct Redirection {
    const char* variable;
    const char* relativePath;
};

constexpr std::array<Redirection, 4> kRedirections{{
    {"XDG_CONFIG_HOME", "config"},
    {"XDG_DATA_HOME", "data"},
    {"XDG_RUNTIME_DIR", "runtime"},
    {"MOSSVANE_MACHINE_REG", "machine.reg"},
}};

class RedirectedEnvironment : public SandboxEnvironment {
  public:
    std::array<std::optional<std::string>, kRedirections.size()> previous;

    ~RedirectedEnvironment() override {
        for (std::size_t i = 0; i < kRedirections.size(); ++i) {
            if (previous[i]) {
                setenv(kRedirections[i].variable, previous[i]->c_str(), 1);
            } else {
                unsetenv(kRedirections[i].variable);
            }
        }
    }
};

}  // namespace

std::unique_ptr<SandboxEnvironment> IsolateSettingsStore(const std::filesystem::path& folder) {
    auto environment = std::make_unique<RedirectedEnvironment>();
    for (std::size_t i = 0; i < kRedirections.size(); ++i) {
        const char* old = getenv(kRedirections[i].variable);
        if (old) environment->previous[i] = old;
        const std::filesystem::path target = folder / kRedirections[i].relativePath;
        setenv(kRedirections[i].variable, target.c_str(), 1);
    }
    // The folders exist as a desktop session provides them; the runtime
    // folder must be private to the user.
    mkdir((folder / "config").c_str(), 0700);
    mkdir((folder / "data").c_str(), 0700);
    mkdir((folder / "runtime").c_str(), 0700);
    return environment;
}

}  // namespace mossvane::test
