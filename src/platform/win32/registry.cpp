// The settings store on Windows: the registry itself. Error codes are the
// ones the registry functions return.
#include "platform/registry.h"

#include <cstring>
#include <utility>

#include "platform/win32/windows_include.h"

namespace mossvane::platform {
namespace {

class KeyHandle {
  public:
    KeyHandle() = default;
    explicit KeyHandle(HKEY key) : m_key(key) {}
    ~KeyHandle() { Reset(); }
    KeyHandle(KeyHandle&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
    KeyHandle& operator=(KeyHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_key = std::exchange(other.m_key, nullptr);
        }
        return *this;
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;

    HKEY Get() const { return m_key; }
    void Reset() {
        if (m_key) RegCloseKey(std::exchange(m_key, nullptr));
    }

  private:
    HKEY m_key = nullptr;
};

// Room around a value's data for what the registry functions do next to
// string data (see QueryValue and SetValue).
constexpr std::size_t kStringSlack = sizeof(wchar_t);

HKEY RootKey(RegistryRoot root) {
    return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

REGSAM AccessMask(RegistryAccess access) {
    switch (access) {
        case RegistryAccess::ReadWrite:
            return KEY_READ | KEY_WRITE;
        case RegistryAccess::All:
            return KEY_ALL_ACCESS;
        case RegistryAccess::Read:
            break;
    }
    return KEY_READ;
}

}  // namespace

struct RegistryKey::Impl {
    KeyHandle handle;
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

ErrorCode RegistryKey::BackendOpen(RegistryRoot root, std::u16string_view path,
                                   RegistryAccess access, RegistryKey& key) {
    HKEY opened = nullptr;
    const LSTATUS status = RegOpenKeyExW(RootKey(root), win32::WideString(path).c_str(), 0,
                                         AccessMask(access), &opened);
    if (status != ERROR_SUCCESS) return static_cast<ErrorCode>(status);
    key.m_impl = std::make_unique<Impl>();
    key.m_impl->handle = KeyHandle(opened);
    return kSuccess;
}

ErrorCode RegistryKey::BackendCreate(RegistryRoot root, std::u16string_view path,
                                     RegistryAccess access, RegistryKey& key) {
    HKEY created = nullptr;
    const LSTATUS status =
        RegCreateKeyExW(RootKey(root), win32::WideString(path).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, AccessMask(access), nullptr, &created, nullptr);
    if (status != ERROR_SUCCESS) return static_cast<ErrorCode>(status);
    key.m_impl = std::make_unique<Impl>();
    key.m_impl->handle = KeyHandle(created);
    return kSuccess;
}

bool RegistryKey::IsOpen() const {
    return m_impl != nullptr;
}

void RegistryKey::Close() {
    m_impl.reset();
}

ErrorCode RegistryKey::BackendQueryValue(std::u16string_view name, RegistryValue& value) const {
    const std::wstring valueName = win32::WideString(name);
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status =
        RegQueryValueExW(m_impl->handle.Get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    // The value may grow between the calls; ERROR_MORE_DATA then gives the
    // new size and the read is repeated. The data goes two bytes into a
    // buffer with slack at both ends: for a string without its terminator
    // Windows peeks at the character before the end and may write a null
    // after it, which for an odd size reaches outside the size given.
    std::vector<BYTE> buffer;
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        buffer.assign(size + 2 * kStringSlack, 0);
        status = RegQueryValueExW(m_impl->handle.Get(), valueName.c_str(), nullptr, &type,
                                  buffer.data() + kStringSlack, &size);
        if (status == ERROR_SUCCESS) break;
    }
    if (status != ERROR_SUCCESS) return static_cast<ErrorCode>(status);
    const auto data = buffer.begin() + kStringSlack;
    value = {type, std::vector<std::uint8_t>(data, data + size)};
    return kSuccess;
}

ErrorCode RegistryKey::BackendSetValue(std::u16string_view name, std::uint32_t type,
                                       const void* data, std::size_t size) {
    // For string types Windows reads the character after the given size and
    // counts a null there as a forgotten terminator. Handing it a copy that
    // ends in a non-null character stores exactly the bytes asked for and
    // keeps it from reading past the caller's buffer.
    std::vector<BYTE> bytes(size + kStringSlack, 0xFF);
    if (size > 0) std::memcpy(bytes.data(), data, size);
    const LSTATUS status = RegSetValueExW(m_impl->handle.Get(), win32::WideString(name).c_str(), 0,
                                          type, bytes.data(), static_cast<DWORD>(size));
    return static_cast<ErrorCode>(status);
}

ErrorCode RegistryKey::BackendDeleteValue(std::u16string_view name) {
    return static_cast<ErrorCode>(
        RegDeleteValueW(m_impl->handle.Get(), win32::WideString(name).c_str()));
}

ErrorCode RegistryKey::BackendDeleteSubKey(std::u16string_view name) {
    return static_cast<ErrorCode>(
        RegDeleteKeyW(m_impl->handle.Get(), win32::WideString(name).c_str()));
}

}  // namespace mossvane::platform
