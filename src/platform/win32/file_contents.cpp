// Whole-file reads on Windows: CreateFileW for reading data with no sharing,
// then ReadFile until the end of the file.
#include "platform/file_contents.h"

#include "platform/win32/unique_handle.h"
#include "platform/win32/windows_include.h"

namespace mossvane::platform {

namespace {

constexpr DWORD kReadChunk = 64 * 1024;

ErrorCode ReadToEnd(HANDLE file, std::vector<std::uint8_t>& contents) {
    for (;;) {
        const std::size_t used = contents.size();
        contents.resize(used + kReadChunk);
        DWORD got = 0;
        if (!ReadFile(file, contents.data() + used, kReadChunk, &got, nullptr)) {
            return GetLastError();
        }
        contents.resize(used + got);
        if (got == 0) return kSuccess;
    }
}

}  // namespace

ErrorCode ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& contents) {
    contents.clear();
    if (path.empty()) return kPathNotFound;
    if (path.find(u'\0') != std::u16string_view::npos) return kInvalidParameter;
    win32::UniqueHandle file(CreateFileW(win32::WideString(path).c_str(), FILE_READ_DATA, 0,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return GetLastError();
    const ErrorCode error = ReadToEnd(file.Get(), contents);
    if (error != kSuccess) contents.clear();
    return error;
}

}  // namespace mossvane::platform
