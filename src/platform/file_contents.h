// Reading a whole file at once, as the install step reads its settings file.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace mossvane::platform {

// Reads every byte of the file at `path` into `contents`, replacing what it
// held. The file is opened for reading without sharing where the system
// knows sharing modes, so nobody changes it while it is read. An empty path
// or one holding a null character is refused (kPathNotFound,
// kInvalidParameter); otherwise the system's code when the file can't be
// opened or read, and `contents` is then empty.
ErrorCode ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& contents);

}  // namespace mossvane::platform
