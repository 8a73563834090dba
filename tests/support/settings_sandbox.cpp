// The backend-independent half of SettingsSandbox: the keys it resets.
#include "support/settings_sandbox.h"

#include "platform/registry.h"

namespace mossvane::test {

SettingsSandbox::SettingsSandbox(std::vector<std::u16string> userKeys)
    : m_userKeys(std::move(userKeys)) {
    std::filesystem::create_directory(FilesFolder());
    m_environment = IsolateSettingsStore(m_folder.path());
    DeleteUserKeys();
}

SettingsSandbox::~SettingsSandbox() {
    DeleteUserKeys();
}

void SettingsSandbox::DeleteUserKeys() const {
    for (const std::u16string& path : m_userKeys) {
        const std::size_t split = path.rfind(u'\\');
        if (split == std::u16string::npos) continue;
        platform::RegistryKey parent;
        if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, path.substr(0, split),
                                        platform::RegistryAccess::All,
                                        parent) != platform::kSuccess) {
            continue;
        }
        parent.DeleteSubKey(path.substr(split + 1));
    }
}

}  // namespace mossvane::test
