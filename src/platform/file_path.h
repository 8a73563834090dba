// The checks every file path passes before it reaches the system.
#pragma once

#include <string_view>

#include "platform/error.h"

namespace mossvane::platform {

// kPathNotFound for an empty path, kInvalidParameter for one holding a null
// character (the system would take only the part before it), else kSuccess.
inline ErrorCode CheckFilePath(std::u16string_view path) {
    if (path.empty()) return kPathNotFound;
    if (path.find(u'\0') != std::u16string_view::npos) return kInvalidParameter;
    return kSuccess;
}

}  // namespace mossvane::platform
