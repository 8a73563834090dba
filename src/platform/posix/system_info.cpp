// Process and machine facts on POSIX: the effective user's account name, the
// monotonic clock as the tick count, and /proc/self/exe as the module path.
#include "platform/system_info.h"

#include <pwd.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

namespace mossvane::platform {

bool GetCurrentUserName(std::u16string& name) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return false;
    }
    name = Utf8ToUtf16(found->pw_name);
    return true;
}

std::uint32_t CurrentProcessId() {
    return static_cast<std::uint32_t>(getpid());
}

std::uint32_t CurrentThreadId() {
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

std::uint32_t TickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return static_cast<std::uint32_t>(milliseconds);
}

UtcTime CurrentUtcTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    UtcTime time;
    time.year = static_cast<std::uint16_t>(parts.tm_year + 1900);
    time.month = static_cast<std::uint16_t>(parts.tm_mon + 1);
    time.day = static_cast<std::uint16_t>(parts.tm_mday);
    time.hour = static_cast<std::uint16_t>(parts.tm_hour);
    time.minute = static_cast<std::uint16_t>(parts.tm_min);
    time.second = static_cast<std::uint16_t>(parts.tm_sec);
    time.milliseconds = static_cast<std::uint16_t>(now.tv_nsec / 1000000);
    return time;
}

std::u16string ExecutablePath() {
    std::vector<char> buffer(4096);
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return {};
    return Utf8ToUtf16(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
}

std::u16string ExecutableFolder() {
    std::u16string path = ExecutablePath();
    return path.substr(0, path.find_last_of(u'/') + 1);
}

// There are no Windows versions here; everything behaves as on a current one.
bool IsVistaOrLater() {
    return true;
}

void SleepMilliseconds(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace mossvane::platform
