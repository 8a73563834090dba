// Log files on Windows: CreateFileW with append access only
// (FILE_APPEND_DATA), which makes every WriteFile land at the current end of
// the file whatever other handles do, and sharing for reading and writing as
// the runtime library's "a+" mode grants it.
#include "platform/log_file.h"

#include <algorithm>
#include <limits>
#include <string>

#include "platform/win32/unique_handle.h"
#include "platform/win32/windows_include.h"

namespace mossvane::platform {

struct LogFile::Impl {
    win32::UniqueHandle handle;
};

LogFile::LogFile() = default;
LogFile::~LogFile() = default;
LogFile::LogFile(LogFile&&) noexcept = default;
LogFile& LogFile::operator=(LogFile&&) noexcept = default;

ErrorCode LogFile::OpenForAppend(std::u16string_view path, LogFile& file) {
    file.Close();
    if (path.empty()) return kPathNotFound;
    if (path.find(u'\0') != std::u16string_view::npos) return kInvalidParameter;
    const std::wstring widePath = win32::WideString(path);
    HANDLE handle = CreateFileW(
        widePath.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError();
    file.m_impl = std::make_unique<Impl>();
    file.m_impl->handle.Reset(handle);
    return kSuccess;
}

bool LogFile::IsOpen() const {
    return m_impl && m_impl->handle.IsValid();
}

ErrorCode LogFile::Size(std::uint64_t& size) const {
    if (!IsOpen()) return kInvalidHandle;
    LARGE_INTEGER fileSize{};
    if (!GetFileSizeEx(m_impl->handle.Get(), &fileSize)) return GetLastError();
    size = static_cast<std::uint64_t>(fileSize.QuadPart);
    return kSuccess;
}

ErrorCode LogFile::Append(std::string_view bytes) {
    if (!IsOpen()) return kInvalidHandle;
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(
            std::min<std::size_t>(bytes.size(), std::numeric_limits<DWORD>::max()));
        DWORD written = 0;
        if (!WriteFile(m_impl->handle.Get(), bytes.data(), chunk, &written, nullptr)) {
            return GetLastError();
        }
        if (written == 0) return kWriteFault;
        bytes.remove_prefix(written);
    }
    return kSuccess;
}

void LogFile::Close() {
    m_impl.reset();
}

}  // namespace mossvane::platform
