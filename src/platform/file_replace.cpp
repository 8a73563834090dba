// What both backends of the file replacement share: the check of the path.
#include "platform/file_replace.h"

#include "platform/file_path.h"

namespace mossvane::platform {

ErrorCode ReplaceFileDurably(std::u16string_view path, std::string_view contents,
                             NewFileAccess access) {
    if (const ErrorCode error = CheckFilePath(path); error != kSuccess) return error;
    return backend::ReplaceFileDurably(path, contents, access);
}

ErrorCode PublishFileDurably(std::u16string_view path, std::string_view contents,
                             NewFileAccess access) {
    if (const ErrorCode error = CheckFilePath(path); error != kSuccess) return error;
    return backend::PublishFileDurably(path, contents, access);
}

}  // namespace mossvane::platform
