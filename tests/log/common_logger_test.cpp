#include "log/common_logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log/log_settings.h"
#include "platform/registry.h"
#include "support/debug_capture.h"
#include "support/file_bytes.h"
#include "support/settings_sandbox.h"

namespace mossvane {
namespace {

using mossvane::test::ReadFileBytes;

using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryRoot;
namespace reg_type = platform::reg_type;

constexpr std::u16string_view kFunction = u"PipeServer::InitInfo";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Fixed ids and time, and tick counts handed out in order (the last one
// repeats), so whole lines can be compared.
LogLineSources FixedSources(std::vector<std::uint32_t> ticks) {
    auto remaining = std::make_shared<std::deque<std::uint32_t>>(ticks.begin(), ticks.end());
    LogLineSources sources;
    sources.processId = [] { return 123u; };
    sources.threadId = [] { return 4567u; };
    sources.utcTime = [] {
        platform::UtcTime time;
        time.hour = 9;
        time.minute = 5;
        time.second = 3;
        time.milliseconds = 7;
        return time;
    };
    sources.tickCount = [remaining] {
        const std::uint32_t tick = remaining->front();
        if (remaining->size() > 1) remaining->pop_front();
        return tick;
    };
    return sources;
}

const std::string kEnterLine =
    "[PID: 0123 TID: 4567  Time: 09:05:03:007 Logger: PI]  <<<  Function - "
    "PipeServer::InitInfo  : enter\n";
const std::string kMessageLine =
    "[PID: 0123 TID: 4567  Time: 09:05:03:007 Logger: PI]  ===  Function - "
    "PipeServer::InitInfo  <MySeqNo : 3, CurrentNo : 2>\n";
const std::string kLeaveLine =
    "[PID: 0123 TID: 4567  Time: 09:05:03:007 Logger: PI]  >>>  Function - "
    "PipeServer::InitInfo   : leave after 0.0160 sec\n";

// What the request answering does around one traced operation.
void RunTracedCall(LogLineSources sources = {}) {
    CommonLogger logger(kLogSettingsKey, std::move(sources));
    if (logger.IsEnabled() != 0) {
        logger.Log(kLoggerName, kFunction, nullptr, kLogLevelEnterLeave, LogKind::Enter);
    }
    logger.LogParam(kLoggerName, kFunction, kLogLevelMessage, u"MySeqNo : %d, CurrentNo : %d", 3,
                    2);
    logger.LogReturn(kLoggerName, kFunction, kLogLevelEnterLeave, u"");
}

std::string CrLf(std::string line) {
    line.insert(line.size() - 1, 1, '\r');
    return line;
}

class CommonLoggerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_capture.IsListening()); }

    static void SetValue(std::u16string_view name, std::uint32_t type, const void* data,
                         std::size_t size) {
        RegistryKey key;
        ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, kLogSettingsKey,
                                      RegistryAccess::All, key),
                  platform::kSuccess);
        ASSERT_EQ(key.SetValue(name, type, data, size), platform::kSuccess);
    }
    static void SetNumber(std::u16string_view name, std::uint32_t number) {
        SetValue(name, reg_type::kDword, &number, sizeof(number));
    }
    static void SetFileName(const std::u16string& name) {
        SetValue(kLogFileNameValue, reg_type::kSz, name.c_str(), (name.size() + 1) * 2);
    }
    void LogToFile(std::uint32_t moduleLevel) {
        SetNumber(kLogIsEnabledValue, kLoggingOn);
        SetNumber(kLogModuleLevelValue, moduleLevel);
        SetNumber(kLogToDebugViewValue, kLogToLogFile);
        SetFileName(LogPath().u16string());
    }

    std::filesystem::path LogPath() const { return m_sandbox.FilesFolder() / "trace.log"; }

    // The trace lines and failure notes that reached the debugger output.
    std::vector<std::string> LoggerTexts() {
        EXPECT_TRUE(m_capture.Sync());
        std::vector<std::string> texts = m_capture.Texts();
        std::erase_if(texts, [](const std::string& text) {
            return !text.starts_with("[PID: ") && !text.starts_with("[LOG_INIT]");
        });
        return texts;
    }

    test::SettingsSandbox m_sandbox{{std::u16string(kLogSettingsKey)}};
    test::DebugCapture m_capture;
};

TEST_F(CommonLoggerTest, DebuggerLinesAreExactAndTimedAcrossTickWrap) {
    SetNumber(kLogIsEnabledValue, kLoggingOn);
    SetNumber(kLogModuleLevelValue, 2);
    {
        CommonLogger logger(kLogSettingsKey, FixedSources({4294967296u - 256u, 100u}));
        logger.Log(kLoggerName, kFunction, nullptr, 1, LogKind::Enter);
        logger.LogParam(kLoggerName, kFunction, 2, u"");
        logger.LogReturn(kLoggerName, kFunction, 1, u"%s", u"OK");
    }
    const std::string prefix = "[PID: 0123 TID: 4567  Time: 09:05:03:007 Logger: PI]  ";
    EXPECT_EQ(LoggerTexts(),
              (std::vector<std::string>{
                  kEnterLine, prefix + "===  Function - PipeServer::InitInfo  <>\n",
                  prefix + ">>>  Function - PipeServer::InitInfo  <RETURN : OK> : leave after "
                           "0.3560 sec\n"}));
}

TEST_F(CommonLoggerTest, LeaveWithoutEnterCountsFromTickZero) {
    SetNumber(kLogIsEnabledValue, kLoggingOn);
    SetNumber(kLogModuleLevelValue, 1);
    {
        CommonLogger logger(kLogSettingsKey, FixedSources({1500}));
        logger.LogReturn(kLoggerName, kFunction, 1, u"");
    }
    const std::vector<std::string> texts = LoggerTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].ends_with("   : leave after 1.5000 sec\n")) << texts[0];
}

TEST_F(CommonLoggerTest, MalformedFormatDropsOnlyThatLine) {
    SetNumber(kLogIsEnabledValue, kLoggingOn);
    SetNumber(kLogModuleLevelValue, 2);
    {
        CommonLogger logger(kLogSettingsKey, FixedSources({1000, 1016}));
        logger.Log(kLoggerName, kFunction, nullptr, 1, LogKind::Enter);
        logger.LogParam(kLoggerName, kFunction, 2, u"MySeqNo : %d, CurrentNo : %d", 3);
        logger.LogReturn(kLoggerName, kFunction, 1, u"%s", 5);
        logger.LogReturn(kLoggerName, kFunction, 1, u"");
    }
    EXPECT_EQ(LoggerTexts(), (std::vector<std::string>{kEnterLine, kLeaveLine}));
}

TEST_F(CommonLoggerTest, FileGetsAllLinesWithByteOrderMarkAndCrLf) {
    LogToFile(2);
    RunTracedCall(FixedSources({1000, 1016}));
    EXPECT_EQ(ReadFileBytes(LogPath()),
              std::string(kBom) + CrLf(kEnterLine) + CrLf(kMessageLine) + CrLf(kLeaveLine));
    EXPECT_TRUE(LoggerTexts().empty());
}

TEST_F(CommonLoggerTest, AppendingToTheFileAddsNoSecondByteOrderMark) {
    LogToFile(2);
    RunTracedCall(FixedSources({1000, 1016}));
    RunTracedCall(FixedSources({1000, 1016}));
    const std::string call = CrLf(kEnterLine) + CrLf(kMessageLine) + CrLf(kLeaveLine);
    EXPECT_EQ(ReadFileBytes(LogPath()), std::string(kBom) + call + call);
}

TEST_F(CommonLoggerTest, ExistingFileIsAppendedToWithoutByteOrderMark) {
    std::ofstream(LogPath(), std::ios::binary) << "earlier\r\n";
    LogToFile(1);
    RunTracedCall(FixedSources({1000, 1016}));
    EXPECT_EQ(ReadFileBytes(LogPath()), "earlier\r\n" + CrLf(kEnterLine) + CrLf(kLeaveLine));
}

TEST_F(CommonLoggerTest, NonAsciiTextAndFileNameAreUtf8) {
    const std::filesystem::path path = m_sandbox.FilesFolder() / u"trac\u00E9.log";
    LogToFile(2);
    SetFileName(path.u16string());
    {
        CommonLogger logger(kLogSettingsKey, FixedSources({0}));
        logger.LogParam(kLoggerName, kFunction, 2, u"%s", u"caf\u00E9");
    }
    EXPECT_TRUE(
        ReadFileBytes(path).ends_with("Function - PipeServer::InitInfo  <caf\xC3\xA9>\r\n"));
}

TEST_F(CommonLoggerTest, EnabledTwoCreatesTheFileButWritesNoLine) {
    SetNumber(kLogIsEnabledValue, 2);
    SetNumber(kLogModuleLevelValue, 2);
    SetNumber(kLogToDebugViewValue, kLogToLogFile);
    SetFileName(LogPath().u16string());
    {
        CommonLogger logger(kLogSettingsKey);
        EXPECT_EQ(logger.IsEnabled(), 2u);
        logger.Log(kLoggerName, kFunction, nullptr, 1, LogKind::Enter);
        logger.LogParam(kLoggerName, kFunction, 2, u"GetInfo");
        logger.LogReturn(kLoggerName, kFunction, 1, u"");
    }
    EXPECT_EQ(ReadFileBytes(LogPath()), kBom);
    // The logger closed the file: Windows refuses to delete a file still open
    // without delete sharing.
    EXPECT_TRUE(std::filesystem::remove(LogPath()));
    EXPECT_TRUE(LoggerTexts().empty());
}

TEST_F(CommonLoggerTest, SettingsAreReadWhenTheLoggerIsMade) {
    SetNumber(kLogIsEnabledValue, kLoggingOn);
    SetNumber(kLogModuleLevelValue, 1);
    CommonLogger before(kLogSettingsKey, FixedSources({1000, 1016}));
    SetNumber(kLogIsEnabledValue, kLoggingOff);
    CommonLogger after(kLogSettingsKey, FixedSources({1000, 1016}));
    EXPECT_EQ(after.IsEnabled(), 0u);
    after.Log(kLoggerName, kFunction, nullptr, 1, LogKind::Enter);
    before.Log(kLoggerName, kFunction, nullptr, 1, LogKind::Enter);
    EXPECT_EQ(LoggerTexts(), std::vector<std::string>{kEnterLine});
}

TEST_F(CommonLoggerTest, InitFailureIsSentOncePerLogger) {
    SetNumber(kLogIsEnabledValue, kLoggingOn);
    SetNumber(kLogModuleLevelValue, 2);
    SetNumber(kLogToDebugViewValue, kLogToLogFile);
    RunTracedCall();
    RunTracedCall();
    const std::vector<std::string> texts = LoggerTexts();
    ASSERT_EQ(texts.size(), 2u);
    for (const std::string& text : texts) {
        EXPECT_TRUE(text.starts_with("[LOG_INIT] failed to _tfopen()")) << text;
    }
}

// Many loggers on many threads append long lines to one file at once; every
// line must arrive whole and each logger's lines in its own order.
TEST_F(CommonLoggerTest, ConcurrentLoggersNeverTearLines) {
    constexpr int kThreads = 4;
    constexpr int kMessages = 150;
    LogToFile(2);
    std::vector<std::thread> workers;
    for (int worker = 0; worker < kThreads; ++worker) {
        workers.emplace_back([worker] {
            CommonLogger logger(kLogSettingsKey);
            const std::u16string function =
                u"Worker" + std::u16string(1, static_cast<char16_t>(u'A' + worker));
            const std::u16string padding(400, u'x');
            logger.Log(kLoggerName, function, nullptr, 1, LogKind::Enter);
            for (int message = 0; message < kMessages; ++message) {
                logger.LogParam(kLoggerName, function, 2, u"%d %s", message, padding);
            }
            logger.LogReturn(kLoggerName, function, 1, u"");
        });
    }
    for (std::thread& worker : workers) worker.join();

    const std::string content = ReadFileBytes(LogPath());
    ASSERT_TRUE(content.starts_with(kBom));
    const std::regex linePattern(
        "\\[PID: \\d{4,} TID: \\d{4,}  Time: \\d\\d:\\d\\d:\\d\\d:\\d{3} Logger: PI\\]  "
        "(<<<|===|>>>)  Function - Worker([A-D]) (.*)");
    std::vector<int> nextMessage(kThreads, 0);
    std::size_t lines = 0;
    for (std::size_t start = kBom.size(); start < content.size(); ++lines) {
        const std::size_t end = content.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = content.substr(start, end - start);
        start = end + 2;
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, linePattern)) << line.substr(0, 120);
        if (match[1] != "===") continue;
        const int worker = match[2].str()[0] - 'A';
        EXPECT_EQ(match[3].str(),
                  " <" + std::to_string(nextMessage[worker]++) + " " + std::string(400, 'x') + ">");
    }
    EXPECT_EQ(lines, static_cast<std::size_t>(kThreads * (kMessages + 2)));
}

// Each case sets some of the values, runs one traced call at the debugger
// output and checks which lines arrived there and whether a file appeared.
enum class FileName { None, Valid, TooLong, FillsBufferUnterminated };

struct Setting {
    std::u16string_view name;
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
};

Setting Dword(std::u16string_view name, std::uint32_t value) {
    return {name,
            reg_type::kDword,
            {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)}};
}
Setting IsEnabled(std::uint32_t value) {
    return Dword(kLogIsEnabledValue, value);
}
Setting Level(std::uint32_t value) {
    return Dword(kLogModuleLevelValue, value);
}
Setting DebugView(std::uint32_t value) {
    return Dword(kLogToDebugViewValue, value);
}

// What one traced call left behind: lines of each kind and failure notes
// at the debugger output, and whether a log file appeared.
struct Outcome {
    int enterLines;
    int messageLines;
    int leaveLines;
    int initFailures;
    bool fileCreated;
};

struct SettingsCase {
    const char* name;
    bool createKey;
    std::vector<Setting> settings;
    FileName fileName;
    Outcome outcome;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SettingsCase& c, std::ostream* out) {
    *out << c.name;
}

class LoggerSettingsTest : public CommonLoggerTest,
                           public ::testing::WithParamInterface<SettingsCase> {
  protected:
    void WriteFileName(FileName kind) {
        const std::u16string folder = m_sandbox.FilesFolder().u16string() + u"/";
        switch (kind) {
            case FileName::None:
                return;
            case FileName::Valid:
                return SetFileName(LogPath().u16string());
            case FileName::TooLong:
                return SetFileName(folder + std::u16string(260 - folder.size(), u'a'));
            case FileName::FillsBufferUnterminated: {
                const std::u16string name = folder + std::u16string(260 - folder.size(), u'b');
                return SetValue(kLogFileNameValue, reg_type::kSz, name.data(), name.size() * 2);
            }
        }
    }
};

TEST_P(LoggerSettingsTest, SendsTheLinesTheSettingsAskFor) {
    const SettingsCase& c = GetParam();
    if (c.createKey) {
        RegistryKey key;
        ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, kLogSettingsKey,
                                      RegistryAccess::All, key),
                  platform::kSuccess);
    }
    for (const Setting& setting : c.settings) {
        SetValue(setting.name, setting.type, setting.bytes.data(), setting.bytes.size());
    }
    WriteFileName(c.fileName);
    RunTracedCall();

    int enter = 0, message = 0, leave = 0, initFailures = 0;
    for (const std::string& text : LoggerTexts()) {
        enter += text.find("]  <<<  Function - ") != std::string::npos;
        message += text.find("]  ===  Function - ") != std::string::npos;
        leave += text.find("]  >>>  Function - ") != std::string::npos;
        initFailures += text.starts_with("[LOG_INIT] failed to _tfopen()");
    }
    EXPECT_EQ(enter, c.outcome.enterLines);
    EXPECT_EQ(message, c.outcome.messageLines);
    EXPECT_EQ(leave, c.outcome.leaveLines);
    EXPECT_EQ(initFailures, c.outcome.initFailures);
    EXPECT_EQ(!std::filesystem::is_empty(m_sandbox.FilesFolder()), c.outcome.fileCreated);
}

// One case per row reads best as a table.
// clang-format off
const SettingsCase kSettingsCases[] = {
    {"NoSettingsKey", false, {}, FileName::None, {0, 0, 0, 0, false}},
    {"EmptyKey", true, {}, FileName::None, {0, 0, 0, 0, false}},
    {"EnabledAloneWritesNothing", true, {IsEnabled(1)}, FileName::None, {0, 0, 0, 0, false}},
    {"LevelOneWritesEnterAndLeave", true, {IsEnabled(1), Level(1)},
        FileName::None, {1, 0, 1, 0, false}},
    {"LevelTwoWritesEverything", true, {IsEnabled(1), Level(2)},
        FileName::None, {1, 1, 1, 0, false}},
    {"LevelComparesUnsigned", true, {IsEnabled(1), Level(0xFFFFFFFFu)},
        FileName::None, {1, 1, 1, 0, false}},
    {"DisabledReadsNothingElse", true, {IsEnabled(0), Level(2), DebugView(0)},
        FileName::Valid, {0, 0, 0, 0, false}},
    {"EnabledTwoWritesNothing", true, {IsEnabled(2), Level(2)},
        FileName::Valid, {0, 0, 0, 0, false}},
    {"EnabledTwoStillOpensTheFile", true, {IsEnabled(2), Level(2), DebugView(0)},
        FileName::Valid, {0, 0, 0, 0, true}},
    {"FileOutputKeepsDebuggerQuiet", true, {IsEnabled(1), Level(2), DebugView(0)},
        FileName::Valid, {0, 0, 0, 0, true}},
    {"NoFileNameFailsOnce", true, {IsEnabled(1), Level(2), DebugView(0)},
        FileName::None, {0, 0, 0, 1, false}},
    {"TooLongFileNameFailsOnce", true, {IsEnabled(1), Level(2), DebugView(0)},
        FileName::TooLong, {0, 0, 0, 1, false}},
    {"UnterminatedFileNameFailsOnce", true, {IsEnabled(1), Level(2), DebugView(0)},
        FileName::FillsBufferUnterminated, {0, 0, 0, 1, false}},
    {"DebugViewFiveDropsEverything", true, {IsEnabled(1), Level(2), DebugView(5)},
        FileName::Valid, {0, 0, 0, 0, false}},
    {"EightByteNumberIsNotRead", true,
        {{kLogIsEnabledValue, reg_type::kQword, {1, 0, 0, 0, 0, 0, 0, 0}}, Level(2)},
        FileName::None, {0, 0, 0, 0, false}},
    {"NumbersAreReadWhateverTheirType", true,
        {{kLogIsEnabledValue, reg_type::kBinary, {1, 0, 0, 0}},
         {kLogModuleLevelValue, reg_type::kBinary, {2, 0, 0, 0}}},
        FileName::None, {1, 1, 1, 0, false}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Settings, LoggerSettingsTest, ::testing::ValuesIn(kSettingsCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mossvane
