// Atomic, durable file replacement on Windows: a new file beside the target,
// WriteFile, FlushFileBuffers, CloseHandle, then MoveFileExW with
// MOVEFILE_WRITE_THROUGH, and MOVEFILE_REPLACE_EXISTING unless a new file is
// published. A file takes its folder's inheritable security either way.
#include "platform/file_replace.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/win32/unique_handle.h"
#include "platform/win32/windows_include.h"

namespace mossvane::platform {

using win32::UniqueHandle;

namespace {

constexpr std::size_t kTemporarySuffixLength = 6;
constexpr wchar_t kAlphabet[] = L"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::uint64_t kAlphabetSize = sizeof kAlphabet / sizeof kAlphabet[0] - 1;
// Names already taken by other writers are passed over this many times.
constexpr int kNameAttempts = 100;
// FILETIME counts 100-nanosecond ticks.
constexpr std::uint64_t kTicksPerSecond = 10'000'000;

ErrorCode LastErrorOr(ErrorCode fallback) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? static_cast<ErrorCode>(error) : fallback;
}

// Six letters or digits that differ between processes, calls and moments.
std::wstring TemporarySuffix() {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t mixed = (std::uint64_t{GetCurrentProcessId()} << 32) ^ GetTickCount64() ^
                          (++counter * 0x9E3779B97F4A7C15ull);
    std::wstring suffix;
    for (std::size_t i = 0; i < kTemporarySuffixLength; ++i, mixed /= kAlphabetSize) {
        suffix.push_back(kAlphabet[mixed % kAlphabetSize]);
    }
    return suffix;
}

UniqueHandle CreateTemporary(const std::wstring& target, std::wstring& temporary) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporary = target + L"." + TemporarySuffix();
        UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.IsValid() || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return UniqueHandle();
}

ErrorCode WriteEverything(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) {
            return LastErrorOr(kWriteFault);
        }
        if (written == 0) return kWriteFault;
        bytes.remove_prefix(written);
    }
    return kSuccess;
}

ErrorCode FillTemporary(UniqueHandle file, std::string_view contents) {
    ErrorCode error = WriteEverything(file.Get(), contents);
    if (error == kSuccess && !FlushFileBuffers(file.Get())) error = LastErrorOr(kWriteFault);
    if (!CloseHandle(file.Release()) && error == kSuccess) error = LastErrorOr(kWriteFault);
    return error;
}

std::uint64_t Ticks(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

bool HasTemporarySuffix(const wchar_t* name, std::size_t leafLength) {
    const std::wstring_view text(name);
    if (text.size() != leafLength + 1 + kTemporarySuffixLength) return false;
    return text.substr(leafLength + 1).find_first_not_of(kAlphabet) == std::wstring_view::npos;
}

// Writes the temporary, then moves it to `path` with `moveFlags`.
ErrorCode WriteThenMove(std::u16string_view path, std::string_view contents, DWORD moveFlags) {
    const std::wstring target = win32::WideString(path);
    std::wstring temporary;
    UniqueHandle file = CreateTemporary(target, temporary);
    if (!file.IsValid()) return LastErrorOr(kAccessDenied);
    ErrorCode error = FillTemporary(std::move(file), contents);
    if (error == kSuccess &&
        !MoveFileExW(temporary.c_str(), target.c_str(), moveFlags | MOVEFILE_WRITE_THROUGH)) {
        error = LastErrorOr(kWriteFault);
    }
    if (error != kSuccess) DeleteFileW(temporary.c_str());
    return error == ERROR_FILE_EXISTS ? kAlreadyExists : error;
}

}  // namespace

ErrorCode backend::ReplaceFileDurably(std::u16string_view path, std::string_view contents,
                                      NewFileAccess) {
    return WriteThenMove(path, contents, MOVEFILE_REPLACE_EXISTING);
}

ErrorCode backend::PublishFileDurably(std::u16string_view path, std::string_view contents,
                                      NewFileAccess) {
    return WriteThenMove(path, contents, 0);
}

void RemoveStaleTemporaries(std::u16string_view path, std::chrono::seconds minimumAge) {
    const std::wstring target = win32::WideString(path);
    const std::size_t separator = target.find_last_of(L"\\/");
    const std::wstring folder =
        separator == std::wstring::npos ? std::wstring() : target.substr(0, separator + 1);
    const std::size_t leafLength = target.size() - folder.size();
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t newest =
        Ticks(now) - static_cast<std::uint64_t>(minimumAge.count()) * kTicksPerSecond;
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = target + L"." + std::wstring(kTemporarySuffixLength, L'?');
    std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)> search(FindFirstFileW(pattern.c_str(), &found),
                                                        FindClose);
    if (search.get() == INVALID_HANDLE_VALUE) {
        static_cast<void>(search.release());
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        if (!HasTemporarySuffix(found.cFileName, leafLength)) continue;
        if (Ticks(found.ftLastWriteTime) < newest) DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(search.get(), &found));
}

}  // namespace mossvane::platform
