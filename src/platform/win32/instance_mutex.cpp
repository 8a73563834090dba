// The per-user named mutex on Windows, with the low integrity label so that
// processes of the same user at low integrity still see it.
#include "platform/instance_mutex.h"

#include "platform/system_info.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/windows_include.h"

#include <aclapi.h>
#include <sddl.h>

namespace mossvane::platform {

namespace {

constexpr wchar_t kLowIntegrityLabel[] = L"S:(ML;;NW;;;LW)";

}  // namespace

struct NamedMutex::Impl {
    win32::UniqueHandle handle;
    bool owned = false;
};

NamedMutex::NamedMutex() = default;
NamedMutex::~NamedMutex() {
    Close();
}
NamedMutex::NamedMutex(NamedMutex&&) noexcept = default;
NamedMutex& NamedMutex::operator=(NamedMutex&&) noexcept = default;

NamedMutex NamedMutex::Create(std::u16string_view name, ErrorCode& lastError) {
    NamedMutex mutex;
    HANDLE handle = CreateMutexW(nullptr, TRUE, win32::WideString(name).c_str());
    lastError = GetLastError();
    if (handle == nullptr) return mutex;
    mutex.m_impl = std::make_unique<Impl>();
    mutex.m_impl->handle.Reset(handle);
    mutex.m_impl->owned = lastError != ERROR_ALREADY_EXISTS;
    return mutex;
}

bool NamedMutex::IsValid() const {
    return m_impl && m_impl->handle.IsValid();
}

void NamedMutex::Release() {
    if (!m_impl || !m_impl->owned) return;
    ReleaseMutex(m_impl->handle.Get());
    m_impl->owned = false;
}

void NamedMutex::Close() {
    m_impl.reset();
}

bool NamedMutex::ApplyLowIntegrityLabel() {
    if (!IsVistaOrLater()) return true;
    if (!IsValid()) return false;
    win32::UniqueLocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kLowIntegrityLabel, SDDL_REVISION_1,
            reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Receive()), nullptr)) {
        return false;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL sacl = nullptr;
    if (!GetSecurityDescriptorSacl(descriptor.Get(), &present, &sacl, &defaulted)) return false;
    return SetSecurityInfo(m_impl->handle.Get(), SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION,
                           nullptr, nullptr, nullptr, sacl) == ERROR_SUCCESS;
}

}  // namespace mossvane::platform
