// The sandbox on POSIX: a temporary folder holding both hive files, with the
// variables that locate the settings store pointed into it.
#include "registry_sandbox.h"

#include <stdlib.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <stdexcept>

namespace mossvane::platform::test {
namespace {

constexpr std::array<const char*, 4> kVariables = {"XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                                   "XDG_RUNTIME_DIR", "MOSSVANE_MACHINE_REG"};

// The values the variables had before the sandbox, restored afterwards.
std::array<std::optional<std::string>, kVariables.size()> g_saved;

std::filesystem::path MakeTemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mossvane-reg-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

}  // namespace

RegistrySandbox::RegistrySandbox()
    : m_basePath(std::u16string(kSandboxParentKey) + u"\\" + RandomSuffix()),
      m_folder(MakeTemporaryFolder()) {
    const std::array<std::string, kVariables.size()> values = {
        (m_folder / "config").string(), (m_folder / "data").string(),
        (m_folder / "runtime").string(), MachineHiveFile().string()};
    for (std::size_t i = 0; i < kVariables.size(); ++i) {
        const char* old = std::getenv(kVariables[i]);
        g_saved[i] = old ? std::optional<std::string>(old) : std::nullopt;
        setenv(kVariables[i], values[i].c_str(), 1);
    }
}

RegistrySandbox::~RegistrySandbox() {
    for (std::size_t i = 0; i < kVariables.size(); ++i) {
        if (g_saved[i]) {
            setenv(kVariables[i], g_saved[i]->c_str(), 1);
        } else {
            unsetenv(kVariables[i]);
        }
    }
    std::error_code ignored;
    // Tests may leave read-only folders behind; make them removable first.
    using std::filesystem::recursive_directory_iterator;
    for (auto entry = recursive_directory_iterator(m_folder, ignored);
         entry != recursive_directory_iterator(); entry.increment(ignored)) {
        if (entry->is_directory(ignored)) {
            std::filesystem::permissions(entry->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(m_folder, ignored);
}

std::filesystem::path RegistrySandbox::UserHiveFile() const {
    return m_folder / "config" / "mossvane" / "user.reg";
}

std::filesystem::path RegistrySandbox::MachineHiveFile() const {
    return m_folder / "machine" / "machine.reg";
}

}  // namespace mossvane::platform::test
