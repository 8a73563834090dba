#include "log/log_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace mossvane {
namespace {

platform::UtcTime NineFiveThree() {
    platform::UtcTime time;
    time.year = 2024;
    time.month = 3;
    time.day = 14;
    time.hour = 9;
    time.minute = 5;
    time.second = 3;
    time.milliseconds = 7;
    return time;
}

LogLineHeader Header(std::uint32_t processId, std::uint32_t threadId) {
    return LogLineHeader{processId, threadId, NineFiveThree(), u"PI", u"PipeServer::InitInfo"};
}

TEST(LogLineTest, EnterLineMatchesTheTraceFormat) {
    const std::u16string body = FormatLogBody(LogKind::Enter, nullptr, 0.0);
    EXPECT_EQ(FormatLogLine(Header(123, 4567), LogKind::Enter, body),
              u"[PID: 0123 TID: 4567  Time: 09:05:03:007 Logger: PI]  <<<  "
              u"Function - PipeServer::InitInfo  : enter\n");
}

struct IdCase {
    const char* name;
    std::uint32_t processId;
    std::uint32_t threadId;
    std::u16string_view expectedStart;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const IdCase& c, std::ostream* out) {
    *out << c.name;
}

class LogLineIdTest : public ::testing::TestWithParam<IdCase> {};

TEST_P(LogLineIdTest, PadsIdsToFourDigitsAndKeepsLongerOnes) {
    const IdCase& c = GetParam();
    const std::u16string line = FormatLogLine(Header(c.processId, c.threadId), LogKind::Enter,
                                              FormatLogBody(LogKind::Enter, nullptr, 0.0));
    EXPECT_TRUE(line.starts_with(c.expectedStart)) << std::string(line.begin(), line.end());
}

const IdCase kIdCases[] = {
    {"SingleDigitProcess", 5, 123456, u"[PID: 0005 TID: 123456  Time: "},
    {"ThreeDigitProcess", 123, 7, u"[PID: 0123 TID: 0007  Time: "},
    {"FourDigitIds", 1000, 9999, u"[PID: 1000 TID: 9999  Time: "},
    {"ZeroIds", 0, 0, u"[PID: 0000 TID: 0000  Time: "},
    {"LargestLinuxProcess", 4194304, 4194303, u"[PID: 4194304 TID: 4194303  Time: "},
};

INSTANTIATE_TEST_SUITE_P(Ids, LogLineIdTest, ::testing::ValuesIn(kIdCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LogLineTest, LeaveWithEmptyTextLeavesThreeSpacesBeforeTheColon) {
    const std::u16string body = FormatLogBody(LogKind::Leave, u"", 0.016);
    EXPECT_EQ(body, u"  : leave after 0.0160 sec\n");
    EXPECT_EQ(FormatLogLine(Header(123, 4567), LogKind::Leave, body),
              u"[PID: 0123 TID: 4567  Time: 09:05:03:007 Logger: PI]  >>>  "
              u"Function - PipeServer::InitInfo   : leave after 0.0160 sec\n");
}

TEST(LogLineTest, LeaveWithTextShowsItBeforeTheSeconds) {
    EXPECT_EQ(FormatLogBody(LogKind::Leave, u"<RETURN : OK>", 1.5),
              u" <RETURN : OK> : leave after 1.5000 sec\n");
}

TEST(LogLineTest, MessageLineCarriesItsText) {
    const std::u16string body = FormatLogBody(LogKind::Message, u"<GetInfo>", 0.0);
    EXPECT_EQ(FormatLogLine(Header(123, 4567), LogKind::Message, body),
              u"[PID: 0123 TID: 4567  Time: 09:05:03:007 Logger: PI]  ===  "
              u"Function - PipeServer::InitInfo  <GetInfo>\n");
}

TEST(LogLineTest, NullTextPrintsAsNull) {
    EXPECT_EQ(FormatLogBody(LogKind::Message, nullptr, 0.0), u" (null)\n");
}

TEST(LogLineTest, UnknownKindGivesNoLine) {
    const auto unknown = static_cast<LogKind>(7);
    EXPECT_EQ(FormatLogBody(unknown, u"x", 0.0), u"");
    EXPECT_EQ(FormatLogLine(Header(1, 1), unknown, u" x\n"), u"");
}

TEST(LogLineTest, ElapsedTimeSurvivesTheTickCounterWrapping) {
    const double seconds = ElapsedSeconds(4294967296u - 256u, 100u);
    EXPECT_DOUBLE_EQ(seconds, 0.356);
    EXPECT_EQ(FormatLogBody(LogKind::Leave, u"", seconds), u"  : leave after 0.3560 sec\n");
}

TEST(LogLineTest, ElapsedTimeWithoutEnterIsTheTickCountItself) {
    EXPECT_DOUBLE_EQ(ElapsedSeconds(0, 1500), 1.5);
}

TEST(LogLineTest, FileBytesAreUtf8WithCarriageReturnLineFeeds) {
    EXPECT_EQ(EncodeForLogFile(u"a\nb\n"), "a\r\nb\r\n");
    EXPECT_EQ(EncodeForLogFile(u"\u00E9\U0001F600\n"), "\xC3\xA9\xF0\x9F\x98\x80\r\n");
    EXPECT_EQ(EncodeForLogFile(u"\r\n"), "\r\r\n");
}

TEST(LogLineTest, UnpairedSurrogateBecomesReplacementCharacter) {
    const char16_t lone[] = {u'x', 0xD800, u'\n', 0};
    EXPECT_EQ(EncodeForLogFile(lone), "x\xEF\xBF\xBD\r\n");
}

}  // namespace
}  // namespace mossvane
