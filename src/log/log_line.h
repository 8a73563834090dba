// The text of one trace line, built from plain values so it can be checked
// without a clock, a registry or a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/system_info.h"

namespace mossvane {

enum class LogKind : std::uint32_t {
    Enter = 1,
    Leave = 2,
    Message = 3,
};

// Everything a line shows apart from its body.
struct LogLineHeader {
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
    platform::UtcTime time;
    std::u16string_view loggerName;
    std::u16string_view functionName;
};

// Seconds from the Enter tick to the Leave tick. The tick counter wraps
// after 2^32 ms, so the difference is taken modulo 2^32.
double ElapsedSeconds(std::uint32_t enterTick, std::uint32_t leaveTick);

// The part after the function name: " : enter\n", " <text> : leave after
// <seconds> sec\n" or " <text>\n". A null text prints as "(null)". Empty for
// a kind the logger doesn't know.
std::u16string FormatLogBody(LogKind kind, const char16_t* text, double elapsedSeconds);

// The whole line, ending with the body's line feed. Empty for an unknown kind.
std::u16string FormatLogLine(const LogLineHeader& header, LogKind kind, std::u16string_view body);

// The bytes a line occupies in the log file: UTF-8, each line feed as CR LF.
std::string EncodeForLogFile(std::u16string_view line);

}  // namespace mossvane
