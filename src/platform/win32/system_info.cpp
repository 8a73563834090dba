// Process and machine facts on Windows, straight from the system calls.
#include "platform/system_info.h"

#include <vector>

#include "platform/win32/windows_include.h"

namespace mossvane::platform {

namespace {

constexpr DWORD kUserNameCapacity = 260;
constexpr DWORD kVersionInfoSize = 284;

}  // namespace

bool GetCurrentUserName(std::u16string& name) {
    wchar_t buffer[kUserNameCapacity] = {};
    DWORD size = kUserNameCapacity;
    // Only a plain TRUE counts: anything else leaves the name unavailable.
    if (GetUserNameW(buffer, &size) != 1) return false;
    name.assign(reinterpret_cast<const char16_t*>(buffer));
    return true;
}

std::uint32_t CurrentProcessId() {
    return GetCurrentProcessId();
}

std::uint32_t CurrentThreadId() {
    return GetCurrentThreadId();
}

std::uint32_t TickCount() {
    return GetTickCount();
}

UtcTime CurrentUtcTime() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return UtcTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                   now.wMinute, now.wSecond, now.wMilliseconds};
}

std::u16string ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::u16string ExecutableFolder() {
    std::u16string path = ExecutablePath();
    return path.substr(0, path.find_last_of(u"\\/") + 1);
}

bool IsVistaOrLater() {
    static const bool answer = [] {
        OSVERSIONINFOEXW info{};
        info.dwOSVersionInfoSize = kVersionInfoSize;
        info.dwMajorVersion = 6;
        ULONGLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
        return VerifyVersionInfoW(&info, VER_MAJORVERSION, condition) != 0;
    }();
    return answer;
}

void SleepMilliseconds(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

}  // namespace mossvane::platform
