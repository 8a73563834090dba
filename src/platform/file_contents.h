// Reading a whole file at once, as the install step reads its settings file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace mossvane::platform {

// Reads every byte of the file at `path` into `contents`, replacing what it
// held. The file is opened for reading without sharing where the system
// knows sharing modes, so nobody changes it while it is read. A file of more
// than `maxSize` bytes is refused (kFileTooLarge) before more than that is
// read, so a device that never ends, such as /dev/zero, is refused too. An
// empty path or one holding a null character is refused (kPathNotFound,
// kInvalidParameter); a folder is kIsAFolder; memory that runs out is
// kNotEnoughMemory; otherwise the system's code when the file can't be
// opened or read. `contents` is empty after any failure.
ErrorCode ReadWholeFile(std::u16string_view path, std::size_t maxSize,
                        std::vector<std::uint8_t>& contents);

namespace backend {
// Each backend's part of ReadWholeFile, called with a path already checked
// and `contents` empty.
ErrorCode ReadWholeFile(std::u16string_view path, std::size_t maxSize,
                        std::vector<std::uint8_t>& contents);
}  // namespace backend

}  // namespace mossvane::platform
