// The sandbox on Windows: a scratch key in the real registry, removed with
// everything below it when the test ends, in both roots.
#include "registry_sandbox.h"

#include "platform/win32/windows_include.h"

namespace mossvane::platform::test {

RegistrySandbox::RegistrySandbox()
    : m_basePath(std::u16string(kSandboxParentKey) + u"\\" + RandomSuffix()) {}

RegistrySandbox::~RegistrySandbox() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        RegDeleteTreeW(root, win32::WideString(m_basePath).c_str());
        // Removed only once no other sandbox is left below it.
        RegDeleteKeyW(root, win32::WideString(kSandboxParentKey).c_str());
    }
}

std::filesystem::path RegistrySandbox::UserHiveFile() const {
    return {};
}

std::filesystem::path RegistrySandbox::MachineHiveFile() const {
    return {};
}

}  // namespace mossvane::platform::test
