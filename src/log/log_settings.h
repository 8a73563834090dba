// Names and numbers of the leveled trace: where its per-user settings live in
// the registry, what their values mean, and the levels the program writes at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mossvane {

// Below HKEY_CURRENT_USER; every traced operation reads its settings here.
inline constexpr std::u16string_view kLogSettingsKey = u"Software\\Quorvex\\CommonLog\\Plugin";

inline constexpr std::u16string_view kLogIsEnabledValue = u"Logging_IsEnabled";
inline constexpr std::u16string_view kLogToDebugViewValue = u"Logging_LogToDebugView";
inline constexpr std::u16string_view kLogModuleLevelValue = u"Logging_ModuleLevel";
inline constexpr std::u16string_view kLogFileNameValue = u"Logging_FileName";

// "Logging_IsEnabled": 0 (or absent) is off and the other values are not
// read; 1 writes lines; anything else reads the settings and opens the file
// but writes nothing.
inline constexpr std::uint32_t kLoggingOff = 0;
inline constexpr std::uint32_t kLoggingOn = 1;

// "Logging_LogToDebugView": 1 (the default) sends lines to the debugger
// output, 0 appends them to the log file, anything else drops them.
inline constexpr std::uint32_t kLogToLogFile = 0;
inline constexpr std::uint32_t kLogToDebugger = 1;

// "Logging_ModuleLevel" when absent: nothing is written.
inline constexpr std::uint32_t kDefaultModuleLevel = 0;

// Entry and return lines are written from level 1, messages from level 2.
inline constexpr std::uint32_t kLogLevelEnterLeave = 1;
inline constexpr std::uint32_t kLogLevelMessage = 2;

// The name the request answering writes its lines under.
inline constexpr std::u16string_view kLoggerName = u"PI";

// Registry paths and the log file name are held in buffers of this many
// characters, terminator included.
inline constexpr std::size_t kLogPathBufferLength = 260;

// Sent once per logger object whose log file can't be opened.
inline constexpr std::u16string_view kLogInitFailedText = u"[LOG_INIT] failed to _tfopen()";

}  // namespace mossvane
