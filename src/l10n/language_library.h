// The companion library that knows which languages the user prefers.
#pragma once

#include <string>
#include <string_view>

namespace mossvane {

// Loads the library at `libraryPath`, asks its GetPreferredUILanguagesListW
// export for the ":"-separated list of language codes, most preferred first,
// and unloads it again. False when the file is missing or a folder, can't be
// loaded, lacks the export or the export returns 0.
bool ReadPreferredLanguages(std::u16string_view libraryPath, std::u16string& list);

}  // namespace mossvane
