// What both settings-store backends share: reading into a caller's buffer the
// way RegQueryValueExW does, on top of each backend's QueryValue.
#include "platform/registry.h"

#include <cstring>

namespace mossvane::platform {

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
