#include "l10n/language_library.h"

#include <array>
#include <cstdint>

#include "l10n/l10n_constants.h"
#include "l10n/program_paths.h"
#include "platform/shared_library.h"

namespace mossvane {
namespace {

// The export takes a request number and a buffer of
// kPreferredLanguagesBufferUnits units and returns 0 on failure (cdecl,
// the only convention on 64-bit targets).
using PreferredLanguagesFunction = std::int32_t (*)(std::uint32_t, char16_t*);

}  // namespace

bool ReadPreferredLanguages(std::u16string_view libraryPath, std::u16string& list) {
    if (!IsExistingFile(libraryPath)) return false;
    platform::SharedLibrary library;
    if (platform::SharedLibrary::Load(libraryPath, library) != platform::kSuccess) return false;
    const auto function = reinterpret_cast<PreferredLanguagesFunction>(
        library.FindFunction(l10n::kPreferredLanguagesExport));
    if (function == nullptr) return false;

    // One unit more than the library is told about stays null, so a list
    // that fills the whole buffer without its terminator still ends here.
    std::array<char16_t, l10n::kPreferredLanguagesBufferUnits + 1> buffer{};
    if (function(l10n::kPreferredLanguagesRequest, buffer.data()) == 0) return false;
    list.assign(buffer.data());
    return true;
}

}  // namespace mossvane
