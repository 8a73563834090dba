#include "l10n/plug_in_settings.h"

#include <array>
#include <cstdint>

#include "l10n/l10n_constants.h"
#include "platform/registry.h"

namespace mossvane {
namespace {

bool IsStringType(std::uint32_t type) {
    return type == platform::reg_type::kSz || type == platform::reg_type::kExpandSz;
}

}  // namespace

platform::ErrorCode ReadPlugInMachineValue(std::u16string_view valueName, std::u16string& text) {
    platform::RegistryKey key;
    platform::ErrorCode error =
        platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                                    platform::RegistryAccess::Read, key);
    if (error != platform::kSuccess) return error;

    std::array<char16_t, l10n::kMaxPathChars> buffer{};
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size() * sizeof(char16_t));
    std::uint32_t type = platform::reg_type::kNone;
    error = key.QueryValueInto(valueName, buffer.data(), size, &type);
    if (error != platform::kSuccess) return error;
    if (!IsStringType(type)) return platform::kInvalidData;

    // Data of an odd size or without a final null is no text the program
    // can trust; a cut-off value would name the wrong thing.
    const std::size_t units = size / sizeof(char16_t);
    if (size % sizeof(char16_t) != 0 || units == 0 || buffer[units - 1] != u'\0') {
        return platform::kInvalidData;
    }
    text.assign(buffer.data());
    return platform::kSuccess;
}

}  // namespace mossvane
