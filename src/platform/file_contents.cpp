// What both backends of the whole-file read share: the checks of the path
// and the promise that a failure leaves nothing behind.
#include "platform/file_contents.h"

#include <new>

#include "platform/file_path.h"

namespace mossvane::platform {

ErrorCode ReadWholeFile(std::u16string_view path, std::size_t maxSize,
                        std::vector<std::uint8_t>& contents) {
    contents.clear();
    if (const ErrorCode error = CheckFilePath(path); error != kSuccess) return error;
    ErrorCode error = kSuccess;
    try {
        error = backend::ReadWholeFile(path, maxSize, contents);
    } catch (const std::bad_alloc&) {
        error = kNotEnoughMemory;
    }
    if (error != kSuccess) {
        contents.clear();
        contents.shrink_to_fit();
    }
    return error;
}

}  // namespace mossvane::platform
