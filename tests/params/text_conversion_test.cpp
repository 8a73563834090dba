#include "params/text_conversion.h"

#include <gtest/gtest.h>

#include <string>

#include "params/param_map.h"
#include "platform/codepage.h"
#include "platform/utf8.h"

namespace mossvane {
namespace {

using namespace std::string_literals;

constexpr std::uint32_t kWesternCodePage = 1252;

// The bytes of a UTF-8 literal as the narrow text the conversions take.
std::string Bytes(std::u8string_view text) {
    return std::string(text.begin(), text.end());
}

// ---------------------------------------------------------------- UTF-8, every platform

struct Utf8Case {
    const char* name;
    std::string bytes;
    std::u16string expected;
};

void PrintTo(const Utf8Case& testCase, std::ostream* out) {
    *out << testCase.name;
}

class Utf8ToWideTest : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToWideTest, DecodesWithOneReplacementPerMaximalSubpart) {
    EXPECT_EQ(Utf8ToWide(GetParam().bytes.c_str()), GetParam().expected);
}

const Utf8Case kUtf8Cases[] = {
    {"Empty", "", u""},
    {"Ascii", "@=GETINFO", u"@=GETINFO"},
    {"Korean", Bytes(u8"한국어 문서"), u"한국어 문서"},
    {"GermanUmlauts", Bytes(u8"Grüße aus Köln"), u"Grüße aus Köln"},
    {"EmojiBecomesSurrogatePair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
    {"SmallestTwoByte", "\xC2\x80", u"\x0080"},
    {"LargestTwoByte", "\xDF\xBF", u"\x07FF"},
    {"SmallestThreeByte", "\xE0\xA0\x80", u"\x0800"},
    {"LastBeforeSurrogates", "\xED\x9F\xBF", u"\xD7FF"},
    {"FirstAfterSurrogates", "\xEE\x80\x80", u"\xE000"},
    {"LargestThreeByte", "\xEF\xBF\xBF", u"\xFFFF"},
    {"SmallestFourByte", "\xF0\x90\x80\x80", u"\xD800\xDC00"},
    {"LargestCodePoint", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
    {"EncodedReplacementCharacter", "\xEF\xBF\xBD", u"\xFFFD"},
    {"LoneContinuationByte", "a\x80z", u"a\xFFFDz"},
    {"TwoContinuationBytes", "\x80\xBF", u"\xFFFD\xFFFD"},
    {"OverlongSlashTwoBytes", "\xC0\xAF", u"\xFFFD\xFFFD"},
    {"OverlongNullTwoBytes", "\xC1\x80", u"\xFFFD\xFFFD"},
    {"OverlongThreeBytes", "\xE0\x80\xAF", u"\xFFFD\xFFFD\xFFFD"},
    {"OverlongFourBytes", "\xF0\x8F\xBF\xBF", u"\xFFFD\xFFFD\xFFFD\xFFFD"},
    {"EncodedHighSurrogate", "\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"},
    {"EncodedLowSurrogate", "\xED\xBF\xBF", u"\xFFFD\xFFFD\xFFFD"},
    {"AboveLargestCodePoint", "\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},
    {"FiveByteLeadIsInvalid", "\xF8\x88\x80\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD"},
    {"LeadBytesF5ToFF", "\xF5\xFE\xFF", u"\xFFFD\xFFFD\xFFFD"},
    {"TruncatedTwoByteAtEnd", "a\xC3", u"a\xFFFD"},
    {"TruncatedThreeByteAtEnd", "a\xE2\x82", u"a\xFFFD"},
    {"TruncatedFourByteAtEnd", "\xF0\x9F\x98", u"\xFFFD"},
    {"TruncatedSequenceBeforeAscii", "\xF0\x9F\x98z", u"\xFFFDz"},
    {"TruncatedSequenceBeforeLeadByte", "\xE2\x82\xC3\xA4", u"\xFFFD\x00E4"},
    {"UnicodeStandardExample",
     "a\xF1\x80\x80\xE1\x80\xC2"
     "b\x80"
     "c\x80\xBF"
     "d",
     u"a\xFFFD\xFFFD\xFFFD"
     u"b\xFFFD"
     u"c\xFFFD\xFFFD"
     u"d"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Utf8ToWideTest, ::testing::ValuesIn(kUtf8Cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Utf8ToWideNullTest, NullTextGivesTheEmptyString) {
    EXPECT_EQ(Utf8ToWide(nullptr), u"");
}

TEST(Utf8ToWideNullTest, EndsAtTheFirstNull) {
    const std::string text = "ab\0cd"s;
    EXPECT_EQ(Utf8ToWide(text.c_str()), u"ab");
}

struct Utf16Case {
    const char* name;
    std::u16string text;
    std::string expected;
};

void PrintTo(const Utf16Case& testCase, std::ostream* out) {
    *out << testCase.name;
}

class Utf16ToUtf8Test : public ::testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16ToUtf8Test, EncodesWithUnpairedSurrogatesReplaced) {
    EXPECT_EQ(platform::Utf16ToUtf8(GetParam().text), GetParam().expected);
}

const Utf16Case kUtf16Cases[] = {
    {"Empty", u"", ""},
    {"NullIsEncoded", u"a\0b"s, "a\0b"s},
    {"BoundariesOfEachLength", u"\x007F\x0080\x07FF\x0800\xFFFF",
     "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
    {"KoreanAndUmlauts", u"한글 äöüß", Bytes(u8"한글 äöüß")},
    {"SurrogatePair", u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
    {"LargestCodePoint", u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
    {"LoneHighSurrogateAtEnd", u"a\xD800", "a\xEF\xBF\xBD"},
    {"LoneLowSurrogate", u"\xDC00z", "\xEF\xBF\xBDz"},
    {"ReversedPair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"HighThenPair", u"\xD800\xD800\xDC00", "\xEF\xBF\xBD\xF0\x90\x80\x80"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Utf16ToUtf8Test, ::testing::ValuesIn(kUtf16Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// File names keep every byte through UTF-16: well-formed UTF-8 is decoded as
// text, each other byte is carried as U+DC80..U+DCFF.
struct FileNameCase {
    const char* name;
    std::string bytes;
    std::u16string text;
};

void PrintTo(const FileNameCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class FileNameTest : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(FileNameTest, EveryByteSurvivesTheRoundTrip) {
    EXPECT_EQ(platform::FileNameToUtf16(GetParam().bytes), GetParam().text);
    EXPECT_EQ(platform::Utf16ToFileName(GetParam().text), GetParam().bytes);
}

const FileNameCase kFileNameCases[] = {
    {"Utf8IsText", Bytes(u8"café.xml"), u"café.xml"},
    {"Latin1Byte", "caf\xE9.xml", u"caf\xDCE9.xml"},
    {"EncodedSurrogateIsThreeBytes", "\xED\xB2\x80", u"\xDCED\xDCB2\xDC80"},
    {"CutSequence", "\xE2\x82", u"\xDCE2\xDC82"},
    {"LoneContinuationByte", "\x80z", u"\xDC80z"},
    {"PairAndByte", "\xF0\x9F\x98\x80\xFF", u"\xD83D\xDE00\xDCFF"},
};

INSTANTIATE_TEST_SUITE_P(Cases, FileNameTest, ::testing::ValuesIn(kFileNameCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FileNameTest, OtherUnpairedSurrogatesAreReplaced) {
    EXPECT_EQ(platform::Utf16ToFileName(u"\xDC7F\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

// ---------------------------------------------------------------- ANSI, every platform

TEST(AnsiTextTest, AsciiSurvivesBothDirections) {
    const std::string ascii = "@=GETINFO\nPhoneNumber=0123 ~!#$%&'()*+,-./:;<=>?[\\]^_`{|}";
    const std::u16string wide = AnsiToWide(ascii.c_str());
    EXPECT_EQ(wide, u"@=GETINFO\nPhoneNumber=0123 ~!#$%&'()*+,-./:;<=>?[\\]^_`{|}");
    EXPECT_EQ(WideToAnsi(wide), ascii);
}

TEST(AnsiTextTest, NullAndEmptyGiveEmptyText) {
    EXPECT_EQ(AnsiToWide(nullptr), u"");
    EXPECT_EQ(AnsiToWide(""), u"");
    EXPECT_EQ(WideToAnsi(u""), "");
}

TEST(AnsiTextTest, WideToAnsiEndsAtTheFirstNull) {
    EXPECT_EQ(WideToAnsi(u"ab\0cd"s), "ab");
    EXPECT_EQ(WideToAnsi(u"\0cd"s), "");
}

// ---------------------------------------------------------------- ANSI, by code page

TEST(AnsiTextTest, Utf8CodePageConvertsAnyText) {
    if (platform::AnsiCodePage() != platform::kUtf8CodePage) GTEST_SKIP() << "ANSI is not UTF-8";
    const std::u16string text = u"한국어 Grüße 😀";
    EXPECT_EQ(AnsiToWide(Bytes(u8"한국어 Grüße 😀").c_str()), text);
    EXPECT_EQ(WideToAnsi(text), Bytes(u8"한국어 Grüße 😀"));
    EXPECT_EQ(AnsiToWide("bad \xC3(\xFF"), u"bad \xFFFD(\xFFFD");
    EXPECT_EQ(WideToAnsi(u"x\xD800y"), "x\xEF\xBF\xBDy");
}

TEST(AnsiTextTest, WesternCodePageConvertsUmlautsAndDefaultsTheRest) {
    if (platform::AnsiCodePage() != kWesternCodePage) GTEST_SKIP() << "ANSI is not 1252";
    EXPECT_EQ(AnsiToWide("Gr\xFC\xDF"
                         "e \x80"),
              u"Grüße €");
    EXPECT_EQ(WideToAnsi(u"Grüße €"),
              "Gr\xFC\xDF"
              "e \x80");
    const std::string korean = WideToAnsi(u"한국어");
    EXPECT_FALSE(korean.empty());
    EXPECT_EQ(korean.find_first_not_of('?'), std::string::npos) << korean;
}

TEST(AnsiTextTest, NarrowSectionParamTakesNonAsciiInTheAnsiCodePage) {
    const std::uint32_t codePage = platform::AnsiCodePage();
    if (codePage != kWesternCodePage && codePage != platform::kUtf8CodePage) {
        GTEST_SKIP() << "ANSI code page " << codePage << " has no umlauts";
    }
    SectionParamMap sections;
    SetSectionParam(sections, WideToAnsi(u"Einstellungen").c_str(), WideToAnsi(u"Größe").c_str(),
                    WideToAnsi(u"Übergröße").c_str());
    EXPECT_EQ(GetSectionParam(sections, u"Einstellungen", u"Größe", u""), u"Übergröße");
}

}  // namespace
}  // namespace mossvane
