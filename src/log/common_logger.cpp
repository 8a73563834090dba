#include "log/common_logger.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <utility>

#include "log/log_settings.h"
#include "platform/debug_output.h"
#include "platform/registry.h"

namespace mossvane {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::u16string_view kReturnTextFormat = u"<RETURN : %s>";
constexpr std::u16string_view kParamTextFormat = u"<%s>";

// Loggers of several threads may append to the same file through handles of
// their own. One lock for the whole process keeps each line in one piece and
// lets only one of them find a new file empty and give it the byte-order mark.
std::mutex& LogFileMutex() {
    static std::mutex mutex;
    return mutex;
}

// Copies the value's bytes over the default as a registry query into a
// four-byte buffer does: whatever the value's type, and not at all when the
// value is larger than four bytes or absent.
void ReadNumber(const platform::RegistryKey& key, std::u16string_view name, std::uint32_t& number) {
    std::uint32_t size = sizeof(number);
    key.QueryValueInto(name, &number, size);
}

// The file name is read into a zero-filled buffer of 260 characters. A value
// that does not fit, can't be read, or fills the buffer without a terminator
// gives no name, so opening the file fails.
std::u16string ReadFileName(const platform::RegistryKey& key) {
    std::array<char16_t, kLogPathBufferLength> buffer{};
    std::uint32_t size = sizeof(buffer);
    if (key.QueryValueInto(kLogFileNameValue, buffer.data(), size) != platform::kSuccess) return {};
    const auto end = std::find(buffer.begin(), buffer.end(), u'\0');
    if (end == buffer.end()) return {};
    return std::u16string(buffer.begin(), end);
}

// Opens the file for appending. A UTF-8 text file starts with the byte-order
// mark when it is new or empty; appending to an existing text adds none.
bool OpenSharedLogFile(std::u16string_view fileName, platform::LogFile& file) {
    std::lock_guard lock(LogFileMutex());
    if (platform::LogFile::OpenForAppend(fileName, file) != platform::kSuccess) return false;
    std::uint64_t size = 0;
    if (file.Size(size) == platform::kSuccess && size == 0) file.Append(kUtf8ByteOrderMark);
    return true;
}

}  // namespace

CommonLogger::CommonLogger(std::u16string_view settingsKey, LogLineSources sources)
    : m_settingsKey(settingsKey.substr(0, kLogPathBufferLength - 1)),
      m_isEnabled(kLoggingOff),
      m_logToDebugView(kLogToDebugger),
      m_moduleLevel(kDefaultModuleLevel),
      m_sources(std::move(sources)) {
    ReadSettings();
}

CommonLogger::~CommonLogger() {
    m_file.Close();
    // Anything still reaching this object while it is torn down writes nothing.
    m_isEnabled = kLoggingOff;
}

void CommonLogger::ReadSettings() {
    platform::RegistryKey key;
    if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, m_settingsKey,
                                    platform::RegistryAccess::All, key) != platform::kSuccess) {
        return;
    }
    ReadNumber(key, kLogIsEnabledValue, m_isEnabled);
    if (m_isEnabled == kLoggingOff) return;
    ReadNumber(key, kLogToDebugViewValue, m_logToDebugView);
    ReadNumber(key, kLogModuleLevelValue, m_moduleLevel);
    const std::u16string fileName = ReadFileName(key);
    if (m_logToDebugView == kLogToLogFile) OpenLogFile(fileName);
}

void CommonLogger::OpenLogFile(std::u16string_view fileName) {
    if (!OpenSharedLogFile(fileName, m_file)) platform::OutputDebugText(kLogInitFailedText);
}

bool CommonLogger::WouldWrite(std::uint32_t level) const {
    return m_isEnabled == kLoggingOn && level <= m_moduleLevel;
}

void CommonLogger::Log(std::u16string_view loggerName, std::u16string_view functionName,
                       const char16_t* text, std::uint32_t level, LogKind kind) {
    if (!WouldWrite(level)) return;
    m_lineTime = m_sources.utcTime();
    double elapsedSeconds = 0.0;
    switch (kind) {
        case LogKind::Enter:
            m_enterTick = m_sources.tickCount();
            break;
        case LogKind::Leave:
            m_leaveTick = m_sources.tickCount();
            elapsedSeconds = ElapsedSeconds(m_enterTick, m_leaveTick);
            break;
        case LogKind::Message:
            break;
        default:
            return;
    }
    const std::u16string body = FormatLogBody(kind, text, elapsedSeconds);
    const LogLineHeader header{m_sources.processId(), m_sources.threadId(), m_lineTime, loggerName,
                               functionName};
    Emit(FormatLogLine(header, kind, body));
}

void CommonLogger::LogFormattedReturn(std::u16string_view loggerName,
                                      std::u16string_view functionName, std::uint32_t level,
                                      const std::optional<std::u16string>& text) {
    if (!text) return;
    const std::u16string lineText =
        text->empty() ? std::u16string() : FormatText(kReturnTextFormat, *text).value_or(u"");
    Log(loggerName, functionName, lineText.c_str(), level, LogKind::Leave);
}

void CommonLogger::LogFormattedParam(std::u16string_view loggerName,
                                     std::u16string_view functionName, std::uint32_t level,
                                     const std::optional<std::u16string>& text) {
    if (!text) return;
    const std::u16string lineText = FormatText(kParamTextFormat, *text).value_or(u"");
    Log(loggerName, functionName, lineText.c_str(), level, LogKind::Message);
}

void CommonLogger::Emit(std::u16string_view line) {
    if (line.empty()) return;
    if (m_logToDebugView == kLogToDebugger) {
        platform::OutputDebugText(line);
        return;
    }
    if (!m_file.IsOpen()) return;
    const std::string bytes = EncodeForLogFile(line);
    std::lock_guard lock(LogFileMutex());
    // A line that can't be written is lost; the traced operation goes on.
    m_file.Append(bytes);
}

}  // namespace mossvane
