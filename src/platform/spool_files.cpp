// What both backends of the job spool files share: the checks of paths and
// arguments, done once before any system call.
#include "platform/spool_files.h"

#include "platform/file_path.h"

namespace mossvane::platform {

ErrorCode CreateFolder(std::u16string_view path) {
    if (const ErrorCode error = CheckFilePath(path); error != kSuccess) return error;
    return backend::CreateFolder(path);
}

ErrorCode JobFile::CreateNew(std::u16string_view path, JobFile& file) {
    file.Close();
    if (const ErrorCode error = CheckFilePath(path); error != kSuccess) return error;
    return BackendCreateNew(path, file);
}

ErrorCode JobFile::AppendAtEnd(const void* data, std::size_t size) {
    if (!IsValid()) return kInvalidHandle;
    if (data == nullptr && size > 0) return kInvalidParameter;
    return BackendAppendAtEnd(data, size);
}

ErrorCode JobFile::FlushAndClose() {
    if (!IsValid()) return kInvalidHandle;
    return BackendFlushAndClose();
}

ErrorCode PublishTextFile(std::u16string_view path, std::string_view text) {
    if (const ErrorCode error = CheckFilePath(path); error != kSuccess) return error;
    return backend::PublishTextFile(path, text);
}

ErrorCode CheckNameIsFree(std::u16string_view path) {
    if (const ErrorCode error = CheckFilePath(path); error != kSuccess) return error;
    return backend::CheckNameIsFree(path);
}

}  // namespace mossvane::platform
