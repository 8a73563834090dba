#include "log/log_line.h"

#include "log/text_format.h"
#include "platform/utf8.h"

namespace mossvane {

namespace {

constexpr std::u16string_view kLineFormat =
    u"[PID: %.4d TID: %.4d  Time: %.2d:%.2d:%.2d:%.3d Logger: %s]  %s  Function - %s %s";
constexpr std::u16string_view kEnterBody = u" : enter\n";
constexpr std::u16string_view kLeaveBodyFormat = u" %s : leave after %.4f sec\n";
constexpr std::u16string_view kMessageBodyFormat = u" %s\n";

std::u16string_view Marker(LogKind kind) {
    switch (kind) {
        case LogKind::Enter:
            return u"<<<";
        case LogKind::Leave:
            return u">>>";
        case LogKind::Message:
            return u"===";
    }
    return {};
}

}  // namespace

double ElapsedSeconds(std::uint32_t enterTick, std::uint32_t leaveTick) {
    const std::uint32_t milliseconds = leaveTick - enterTick;
    return milliseconds / 1000.0;
}

std::u16string FormatLogBody(LogKind kind, const char16_t* text, double elapsedSeconds) {
    switch (kind) {
        case LogKind::Enter:
            return std::u16string(kEnterBody);
        case LogKind::Leave:
            return FormatText(kLeaveBodyFormat, text, elapsedSeconds).value_or(u"");
        case LogKind::Message:
            return FormatText(kMessageBodyFormat, text).value_or(u"");
    }
    return {};
}

std::u16string FormatLogLine(const LogLineHeader& header, LogKind kind, std::u16string_view body) {
    const std::u16string_view marker = Marker(kind);
    if (marker.empty()) return {};
    const platform::UtcTime& time = header.time;
    // The ids are DWORDs that the line shows through %d, as signed numbers.
    return FormatText(kLineFormat, static_cast<std::int32_t>(header.processId),
                      static_cast<std::int32_t>(header.threadId), time.hour, time.minute,
                      time.second, time.milliseconds, header.loggerName, marker,
                      header.functionName, body)
        .value_or(u"");
}

std::string EncodeForLogFile(std::u16string_view line) {
    std::u16string withCarriageReturns;
    withCarriageReturns.reserve(line.size() + 2);
    for (char16_t unit : line) {
        if (unit == u'\n') withCarriageReturns.push_back(u'\r');
        withCarriageReturns.push_back(unit);
    }
    return platform::Utf16ToUtf8(withCarriageReturns);
}

}  // namespace mossvane
