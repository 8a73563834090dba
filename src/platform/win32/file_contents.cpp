// Whole-file reads on Windows: CreateFileW for reading data with no sharing,
// then ReadFile until the end of the file.
#include "platform/file_contents.h"

#include <algorithm>

#include "platform/win32/unique_handle.h"
#include "platform/win32/windows_include.h"

namespace mossvane::platform::backend {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

// Reads one byte more than allowed at most, which tells a file of exactly
// `maxSize` bytes from a longer one.
ErrorCode ReadToEnd(HANDLE file, std::size_t maxSize, std::vector<std::uint8_t>& contents) {
    for (;;) {
        const std::size_t used = contents.size();
        const auto room = static_cast<DWORD>(std::min(kReadChunk, maxSize + 1 - used));
        contents.resize(used + room);
        DWORD got = 0;
        if (!ReadFile(file, contents.data() + used, room, &got, nullptr)) {
            return GetLastError();
        }
        contents.resize(used + got);
        if (contents.size() > maxSize) return kFileTooLarge;
        if (got == 0) return kSuccess;
    }
}

// CreateFileW refuses a folder as "access denied"; the message should say
// what is really wrong.
ErrorCode OpenError(const std::wstring& path) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return kIsAFolder;
    }
    return error;
}

}  // namespace

ErrorCode ReadWholeFile(std::u16string_view path, std::size_t maxSize,
                        std::vector<std::uint8_t>& contents) {
    const std::wstring widePath = win32::WideString(path);
    win32::UniqueHandle file(CreateFileW(widePath.c_str(), FILE_READ_DATA, 0, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return OpenError(widePath);
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.Get(), &size)) {
        if (static_cast<unsigned long long>(size.QuadPart) > maxSize) return kFileTooLarge;
        contents.reserve(static_cast<std::size_t>(size.QuadPart) + 1);
    }
    return ReadToEnd(file.Get(), maxSize, contents);
}

}  // namespace mossvane::platform::backend
