// What both settings-store backends share: the checks of handles, names and
// data before any backend is asked, and reading into a caller's buffer the
// way RegQueryValueExW does.
#include "platform/registry.h"

#include <cstdint>
#include <cstring>

namespace mossvane::platform {

namespace {

// Like the registry API, which takes null-terminated names, a name ends at
// its first null.
std::u16string_view UpToNull(std::u16string_view name) {
    return name.substr(0, name.find(u'\0'));
}

}  // namespace

ErrorCode RegistryKey::Open(RegistryRoot root, std::u16string_view path, RegistryAccess access,
                            RegistryKey& key) {
    key.Close();
    return BackendOpen(root, UpToNull(path), access, key);
}

ErrorCode RegistryKey::Create(RegistryRoot root, std::u16string_view path, RegistryAccess access,
                              RegistryKey& key) {
    key.Close();
    return BackendCreate(root, UpToNull(path), access, key);
}

ErrorCode RegistryKey::QueryValue(std::u16string_view name, RegistryValue& value) const {
    if (!IsOpen()) return kInvalidHandle;
    return BackendQueryValue(UpToNull(name), value);
}

ErrorCode RegistryKey::SetValue(std::u16string_view name, std::uint32_t type, const void* data,
                                std::size_t size) {
    if (!IsOpen()) return kInvalidHandle;
    if (size > UINT32_MAX || (data == nullptr && size > 0)) return kInvalidParameter;
    return BackendSetValue(UpToNull(name), type, data, size);
}

ErrorCode RegistryKey::DeleteValue(std::u16string_view name) {
    if (!IsOpen()) return kInvalidHandle;
    return BackendDeleteValue(UpToNull(name));
}

ErrorCode RegistryKey::DeleteSubKey(std::u16string_view name) {
    if (!IsOpen()) return kInvalidHandle;
    name = UpToNull(name);
    if (name.empty()) return kInvalidParameter;
    return BackendDeleteSubKey(name);
}

ErrorCode RegistryKey::QueryValueInto(std::u16string_view name, void* buffer, std::uint32_t& size,
                                      std::uint32_t* type) const {
    RegistryValue value;
    if (const ErrorCode error = QueryValue(name, value); error != kSuccess) return error;
    const auto valueSize = static_cast<std::uint32_t>(value.data.size());
    if (type) *type = value.type;
    // Like RegQueryValueExW: without a buffer the call only reports the size,
    // and a buffer that is too small is left alone while the size needed is
    // reported.
    const std::uint32_t available = size;
    size = valueSize;
    if (!buffer) return kSuccess;
    if (valueSize > available) return kMoreData;
    if (valueSize > 0) std::memcpy(buffer, value.data.data(), valueSize);
    return kSuccess;
}

}  // namespace mossvane::platform
