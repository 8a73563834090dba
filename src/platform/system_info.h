// Facts about the running process and the machine: user, ids, clocks, paths.
#pragma once

#include <cstdint>
#include <string>

namespace mossvane::platform {

// The account name of the user running the process. Returns false when the
// system can't tell (the caller then uses names without a user suffix).
bool GetCurrentUserName(std::u16string& name);

std::uint32_t CurrentProcessId();
std::uint32_t CurrentThreadId();

// Milliseconds since system start, wrapping modulo 2^32.
std::uint32_t TickCount();

struct UtcTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

// The current date and time in UTC, never local time.
UtcTime CurrentUtcTime();

// Full path of the running executable.
std::u16string ExecutablePath();

// The folder of the running executable, with a trailing separator.
std::u16string ExecutableFolder();

// Whether the operating system's major version is 6 or higher. Computed once.
bool IsVistaOrLater();

// Sleeps the calling thread.
void SleepMilliseconds(std::uint32_t milliseconds);

}  // namespace mossvane::platform
