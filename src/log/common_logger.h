// The leveled trace of one operation: entry, messages and return, written to
// the debugger output or appended to a UTF-8 log file as the user's registry
// settings say. A logger is made at the start of the operation and destroyed
// at its end; it reads the settings when it is made, so a change takes effect
// from the next traced call. A logger belongs to the thread that made it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "log/log_line.h"
#include "log/text_format.h"
#include "platform/log_file.h"
#include "platform/system_info.h"

namespace mossvane {

// Where a logger takes the values a line shows. The defaults ask the system;
// tests replace them to get fixed ids, times and tick counts.
struct LogLineSources {
    std::function<std::uint32_t()> processId = platform::CurrentProcessId;
    std::function<std::uint32_t()> threadId = platform::CurrentThreadId;
    std::function<std::uint32_t()> tickCount = platform::TickCount;
    std::function<platform::UtcTime()> utcTime = platform::CurrentUtcTime;
};

class CommonLogger {
  public:
    // Reads the settings below HKEY_CURRENT_USER\settingsKey and opens the
    // log file when they direct the lines there.
    explicit CommonLogger(std::u16string_view settingsKey, LogLineSources sources = {});
    ~CommonLogger();
    CommonLogger(const CommonLogger&) = delete;
    CommonLogger& operator=(const CommonLogger&) = delete;

    // "Logging_IsEnabled" as read: owners write the Enter line only when this
    // is not 0.
    std::uint32_t IsEnabled() const { return m_isEnabled; }

    // Writes at most one line: only while IsEnabled() is exactly 1 and level
    // is at most the module level. The text is ignored by Enter lines and
    // may be null there.
    void Log(std::u16string_view loggerName, std::u16string_view functionName, const char16_t* text,
             std::uint32_t level, LogKind kind);

    // The Leave line, with "<RETURN : text>" when the formatted text is not
    // empty and no text otherwise.
    template <typename... Args>
    void LogReturn(std::u16string_view loggerName, std::u16string_view functionName,
                   std::uint32_t level, std::u16string_view format, const Args&... args) {
        if (!WouldWrite(level)) return;
        LogFormattedReturn(loggerName, functionName, level, FormatText(format, args...));
    }

    // A Message line with the formatted text as "<text>", also when empty.
    template <typename... Args>
    void LogParam(std::u16string_view loggerName, std::u16string_view functionName,
                  std::uint32_t level, std::u16string_view format, const Args&... args) {
        if (!WouldWrite(level)) return;
        LogFormattedParam(loggerName, functionName, level, FormatText(format, args...));
    }

  private:
    // Formatting is skipped for lines Log would drop anyway.
    bool WouldWrite(std::uint32_t level) const;
    void LogFormattedReturn(std::u16string_view loggerName, std::u16string_view functionName,
                            std::uint32_t level, const std::optional<std::u16string>& text);
    void LogFormattedParam(std::u16string_view loggerName, std::u16string_view functionName,
                           std::uint32_t level, const std::optional<std::u16string>& text);

    void ReadSettings();
    void OpenLogFile(std::u16string_view fileName);
    void Emit(std::u16string_view line);

    std::uint32_t m_enterTick = 0;
    std::uint32_t m_leaveTick = 0;
    std::u16string m_settingsKey;
    platform::UtcTime m_lineTime;
    std::uint32_t m_isEnabled;
    std::uint32_t m_logToDebugView;
    std::uint32_t m_moduleLevel;
    platform::LogFile m_file;
    LogLineSources m_sources;
};

}  // namespace mossvane
