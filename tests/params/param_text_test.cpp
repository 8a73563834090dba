#include "params/param_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mossvane {
namespace {

using namespace std::string_literals;

std::uint32_t Length(const std::u16string& text) {
    return static_cast<std::uint32_t>(text.size());
}

ParamMap Parse(const std::u16string& text) {
    ParamMap set;
    EXPECT_TRUE(ParseParamText(text.data(), Length(text), set));
    return set;
}

// ---------------------------------------------------------------- MemReaderW

TEST(MemReaderTest, ReadCharDeliversUnsignedUnitsThenMinusOne) {
    const std::u16string text = u"a\0\xFFFF\x8000"s;
    MemReaderW reader(text.data(), Length(text));
    EXPECT_EQ(reader.ReadChar(), u'a');
    EXPECT_EQ(reader.ReadChar(), 0);
    EXPECT_EQ(reader.ReadChar(), 0xFFFF);
    EXPECT_EQ(reader.ReadChar(), 0x8000);
    EXPECT_EQ(reader.ReadChar(), -1);
    EXPECT_EQ(reader.ReadChar(), -1);
}

TEST(MemReaderTest, NullBufferReadsAsEmptyWhateverTheLength) {
    MemReaderW reader(nullptr, 10);
    std::u16string line = u"stale";
    EXPECT_EQ(reader.ReadChar(), -1);
    EXPECT_FALSE(reader.ReadLine(line));
    EXPECT_TRUE(line.empty());
}

TEST(MemReaderTest, ReadsNothingBeyondTheLength) {
    const std::u16string text = u"ab\ncd";
    MemReaderW reader(text.data(), 4);
    std::u16string line;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, u"ab");
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, u"c");
    EXPECT_FALSE(reader.ReadLine(line));
}

TEST(MemReaderTest, DeliversEmptyLinesBetweenLineFeedsAndTheLastLineWithoutOne) {
    const std::u16string text = u"a\n\n\nb";
    MemReaderW reader(text.data(), Length(text));
    std::vector<std::u16string> lines;
    for (std::u16string line; reader.ReadLine(line);) lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::u16string>{u"a", u"", u"", u"b"}));
}

TEST(MemReaderTest, TextEndingWithLineFeedDeliversNoExtraLine) {
    const std::u16string text = u"a\n";
    MemReaderW reader(text.data(), Length(text));
    std::u16string line;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, u"a");
    EXPECT_FALSE(reader.ReadLine(line));
    EXPECT_TRUE(line.empty());
}

TEST(MemReaderTest, CarriageReturnsAreDroppedAnywhereAndNeverEndALine) {
    const std::u16string text = u"\rk\re\r\r\ny\r";
    MemReaderW reader(text.data(), Length(text));
    std::u16string line;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, u"ke");
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, u"y");
    EXPECT_FALSE(reader.ReadLine(line));
}

TEST(MemReaderTest, OnlyCarriageReturnsAtTheEndGiveNoLine) {
    const std::u16string text = u"\r\r";
    MemReaderW reader(text.data(), Length(text));
    std::u16string line;
    EXPECT_FALSE(reader.ReadLine(line));
}

// A reader that turns "|" into a line feed: ReadLine must take its characters
// through the virtual ReadChar to see it.
class PipeSeparatedReader : public MemReaderW {
  public:
    using MemReaderW::MemReaderW;
    std::int32_t ReadChar() override {
        const std::int32_t c = MemReaderW::ReadChar();
        return c == u'|' ? u'\n' : c;
    }
};

TEST(MemReaderTest, ReadLineHonoursAnOverriddenReadChar) {
    const std::u16string text = u"a=1|b=2";
    PipeSeparatedReader reader(text.data(), Length(text));
    ParamMap set;
    ASSERT_TRUE(ParseParams(reader, set));
    EXPECT_EQ(set, (ParamMap{{u"a", u"1"}, {u"b", u"2"}}));
}

// ---------------------------------------------------------------- ParseParams

// Delivers fixed lines, then reports the end, then offers one more line that
// a parser must never ask for.
class ScriptedReader : public StringReaderW {
  public:
    explicit ScriptedReader(std::vector<std::u16string> lines) : m_lines(std::move(lines)) {}
    std::int32_t ReadChar() override { return -1; }
    bool ReadLine(std::u16string& line) override {
        const std::size_t index = m_calls++;
        if (index < m_lines.size()) {
            line = m_lines[index];
            return true;
        }
        line = u"late=entry";
        return index == m_lines.size() + 1;
    }
    std::size_t Calls() const { return m_calls; }

  private:
    std::vector<std::u16string> m_lines;
    std::size_t m_calls = 0;
};

TEST(ParseParamsTest, StopsAtTheFirstLineTheReaderDoesNotDeliver) {
    ScriptedReader reader({u"a=1", u"", u"no entry", u"b=2"});
    ParamMap set;
    ASSERT_TRUE(ParseParams(reader, set));
    EXPECT_EQ(set, (ParamMap{{u"a", u"1"}, {u"b", u"2"}}));
    EXPECT_EQ(reader.Calls(), 5u);
}

TEST(ParseParamsTest, DiscardsEarlierContents) {
    ParamMap set{{u"old", u"1"}, {u"a", u"0"}};
    const std::u16string text = u"a=1";
    ASSERT_TRUE(ParseParamText(text.data(), Length(text), set));
    EXPECT_EQ(set, (ParamMap{{u"a", u"1"}}));

    ASSERT_TRUE(ParseParamText(text.data(), 0, set));
    EXPECT_TRUE(set.empty());
}

TEST(ParseParamsTest, NullTextGivesTheEmptySet) {
    ParamMap set{{u"old", u"1"}};
    EXPECT_TRUE(ParseParamText(nullptr, 42, set));
    EXPECT_TRUE(set.empty());
}

struct ParseCase {
    const char* name;
    std::u16string text;
    ParamMap expected;
    std::int64_t length = -1;  // -1: the whole text
};

void PrintTo(const ParseCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class ParseParamTextTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseParamTextTest, GivesTheExpectedSet) {
    const ParseCase& c = GetParam();
    const auto length = c.length < 0 ? Length(c.text) : static_cast<std::uint32_t>(c.length);
    ParamMap set{{u"stale", u"entry"}};
    ASSERT_TRUE(ParseParamText(c.text.data(), length, set));
    EXPECT_EQ(set, c.expected);
}

const ParseCase kParseCases[] = {
    {"CrLfSeparated", u"a=1\r\nb=2", {{u"a", u"1"}, {u"b", u"2"}}},
    {"LfSeparatedAndEnded", u"a=1\nb=2\n", {{u"a", u"1"}, {u"b", u"2"}}},
    {"AnswerOk",
     u"[Result]\nRETURN=OK\nPhoneNumber=0123456789\n",
     {{u"PhoneNumber", u"0123456789"}, {u"RETURN", u"OK"}}},
    {"AnswerCancel", u"[Result]\nRETURN=CANCEL\n", {{u"RETURN", u"CANCEL"}}},
    {"Request", u"@=GETINFO", {{u"@", u"GETINFO"}}},
    {"SpacesAroundKeyAndValueKept", u" key = value ", {{u" key ", u" value "}}},
    {"TabsKept", u"\tk\t=\tv\t", {{u"\tk\t", u"\tv\t"}}},
    {"FurtherEqualsBelongToValue", u"k=a=b", {{u"k", u"a=b"}}},
    {"EmptyKey", u"=x", {{u"", u"x"}}},
    {"EmptyValue", u"k=", {{u"k", u""}}},
    {"EmptyKeyAndValue", u"=\n", {{u"", u""}}},
    {"LastLineForAKeyWins", u"k=1\nk=2", {{u"k", u"2"}}},
    {"KeysAreCaseSensitive", u"Key=1\nkey=2", {{u"Key", u"1"}, {u"key", u"2"}}},
    {"CarriageReturnInsideLineDropped", u"ke\ry=v", {{u"key", u"v"}}},
    {"LoneCarriageReturnDoesNotEndALine", u"a=1\rb=2", {{u"a", u"1b=2"}}},
    {"SeveralCarriageReturnsBeforeLineFeed", u"a=1\r\r\nb=2\r", {{u"a", u"1"}, {u"b", u"2"}}},
    {"LineWithoutEqualsAndTwoLineFeeds", u"no entry here\n\n", {}},
    {"EmptyText", u"", {}},
    {"OnlyLineFeeds", u"\n\n\r\n", {}},
    {"LengthCutsTheText", u"a=12", {{u"a", u"1"}}, 3},
    {"LengthEndsBeforeTheSeparator", u"ab=1", {}, 2},
    {"LinesWithoutEqualsBetweenEntries",
     u"header\na=1\n\n\nplain text\nb=2\ntrailer",
     {{u"a", u"1"}, {u"b", u"2"}}},
    {"CommentAndSectionLookalikesAreEntries",
     u";c=1\n[s]=2\n#x=3",
     {{u";c", u"1"}, {u"[s]", u"2"}, {u"#x", u"3"}}},
    {"NullCharactersAreOrdinary", u"a\0b=c\0d\n"s, {{u"a\0b"s, u"c\0d"s}}},
    {"HighestCodeUnitIsACharacter", u"\xFFFF=\xFFFF", {{u"\xFFFF", u"\xFFFF"}}},
    {"NonAscii", u"이름=김철수\nStraße=Grüße 😀", {{u"이름", u"김철수"}, {u"Straße", u"Grüße 😀"}}},
    {"UnpairedSurrogatesPassThrough", u"\xD800=\xDC00", {{u"\xD800", u"\xDC00"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ParseParamTextTest, ::testing::ValuesIn(kParseCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- FormatParamText

TEST(FormatParamTextTest, WritesInCodeUnitOrderWithoutTrailingLineFeed) {
    const ParamMap set{{u"b", u"1"}, {u"B", u"2"}, {u"a", u"3"}};
    EXPECT_EQ(FormatParamText(set), u"B=2\na=3\nb=1");
}

TEST(FormatParamTextTest, OrdersByUnsignedCodeUnitNotByCodePoint) {
    // U+1F600 is stored as D83D DE00, which orders before U+E000 as code units
    // and after U+FFFF as a code point; a prefix orders first.
    const ParamMap set{{u"\xFFFF", u"1"}, {u"\xE000", u"2"}, {u"😀", u"3"},
                       {u"ab", u"4"},     {u"a", u"5"},      {u"", u"6"}};
    EXPECT_EQ(FormatParamText(set), u"=6\na=5\nab=4\n😀=3\n\xE000=2\n\xFFFF=1");
}

TEST(FormatParamTextTest, EmptySetGivesEmptyText) {
    EXPECT_EQ(FormatParamText({}), u"");
}

TEST(FormatParamTextTest, ExitRequestIsSixCharacters) {
    EXPECT_EQ(FormatParamText({{u"@", u"Exit"}}), u"@=Exit");
}

TEST(FormatParamTextTest, ParsedAnswerIsWrittenWithoutHeaderOrTrailingLineFeed) {
    const std::u16string answer = u"[Result]\nRETURN=OK\nPhoneNumber=0042\n";
    EXPECT_EQ(FormatParamText(Parse(answer)), u"PhoneNumber=0042\nRETURN=OK");
}

TEST(FormatParamTextTest, EscapesNothing) {
    // A key holding "=" is written as is, so it can't come back unchanged.
    const ParamMap set{{u"a=b", u"c"}, {u"k", u"x\ty\\"}};
    const std::u16string text = FormatParamText(set);
    EXPECT_EQ(text, u"a=b=c\nk=x\ty\\");
    EXPECT_EQ(Parse(text), (ParamMap{{u"a", u"b=c"}, {u"k", u"x\ty\\"}}));
}

class RoundTripTest : public ::testing::TestWithParam<ParamMap> {};

TEST_P(RoundTripTest, FormattedSetParsesBackUnchanged) {
    EXPECT_EQ(Parse(FormatParamText(GetParam())), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Sets, RoundTripTest,
    ::testing::Values(ParamMap{}, ParamMap{{u"@", u"OpenUI"}},
                      ParamMap{{u"", u""}, {u" ", u" "}, {u"k", u""}},
                      ParamMap{{u"v", u"a=b=c"}, {u"[x]", u";y"}, {u"Key", u"1"}, {u"key", u"2"}},
                      ParamMap{{u"이름", u"김철수"}, {u"Straße", u"Grüße 😀"}, {u"n", u"a\0b"s}}));

}  // namespace
}  // namespace mossvane
