// Left-over files on Windows: the folder is listed with FindFirstFileExW, and
// each entry's age is its last write time against the system time.
#include "platform/left_over_files.h"

#include <string>

#include "platform/win32/windows_include.h"

namespace mossvane::platform {

namespace {

// FILETIME counts 100-nanosecond steps.
constexpr unsigned long long kFileTimeStepsPerSecond = 10'000'000ULL;

unsigned long long ToSteps(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class FindHandle {
  public:
    explicit FindHandle(HANDLE handle) : m_handle(handle) {}
    ~FindHandle() {
        if (IsValid()) FindClose(m_handle);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool IsValid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

  private:
    HANDLE m_handle;
};

bool IsOldPlainFile(const WIN32_FIND_DATAW& entry, std::chrono::seconds minimumAge) {
    constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (entry.dwFileAttributes & kNotPlain) return false;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const unsigned long long written = ToSteps(entry.ftLastWriteTime);
    const unsigned long long age = ToSteps(now) > written ? ToSteps(now) - written : 0;
    return age / kFileTimeStepsPerSecond >= static_cast<unsigned long long>(minimumAge.count());
}

}  // namespace

std::size_t RemoveLeftOverFiles(std::u16string_view folder,
                                const std::function<bool(std::u16string_view name)>& isLeftOver,
                                std::chrono::seconds minimumAge) {
    std::wstring prefix = win32::WideString(folder);
    if (!prefix.empty() && prefix.back() != L'\\') prefix += L'\\';
    WIN32_FIND_DATAW entry{};
    FindHandle find(FindFirstFileExW((prefix + L"*").c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, 0));
    if (!find.IsValid()) return 0;
    std::size_t removed = 0;
    do {
        const std::u16string_view name(reinterpret_cast<const char16_t*>(entry.cFileName));
        if (!isLeftOver(name) || !IsOldPlainFile(entry, minimumAge)) continue;
        if (DeleteFileW((prefix + entry.cFileName).c_str())) ++removed;
    } while (FindNextFileW(find.Get(), &entry));
    return removed;
}

}  // namespace mossvane::platform
