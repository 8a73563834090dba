#include "log/text_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace mossvane {
namespace {

struct FormatCase {
    const char* name;
    std::u16string_view format;
    std::vector<FormatArg> args;
    std::u16string_view expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FormatCase& c, std::ostream* out) {
    *out << c.name;
}

class FormatTextTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTextTest, FormatsLikePrintf) {
    const FormatCase& c = GetParam();
    const std::optional<std::u16string> text = FormatTextArgs(c.format, c.args);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, c.expected);
}

const FormatCase kFormatCases[] = {
    {"PlainText", u"[PI] End PlugIn Server\n", {}, u"[PI] End PlugIn Server\n"},
    {"Decimal", u"CallCount : %d", {42}, u"CallCount : 42"},
    {"TwoArguments", u"MySeqNo : %d, CurrentNo : %d", {3, 2}, u"MySeqNo : 3, CurrentNo : 2"},
    {"PrecisionPadsWithZeros", u"%.4d", {123}, u"0123"},
    {"PrecisionPadsSingleDigit", u"%.4d", {5}, u"0005"},
    {"PrecisionKeepsLongNumbers", u"%.4d", {123456}, u"123456"},
    {"PrecisionAfterSign", u"%.4d", {-5}, u"-0005"},
    {"TimeFields", u"%.2d:%.2d:%.2d:%.3d", {9, 5, 3, 7}, u"09:05:03:007"},
    {"ZeroPrecisionOfZeroIsEmpty", u"[%.0d]", {0}, u"[]"},
    {"WidthRightAligns", u"%5d|", {42}, u"   42|"},
    {"MinusLeftAligns", u"%-5d|", {42}, u"42   |"},
    {"ZeroFlagPadsAfterSign", u"%05d", {-42}, u"-0042"},
    {"ZeroFlagIgnoredWithPrecision", u"%06.3d", {7}, u"   007"},
    {"PlusSign", u"%+d", {7}, u"+7"},
    {"SpaceSign", u"% d", {7}, u" 7"},
    {"SmallestInt", u"%d", {std::numeric_limits<std::int32_t>::min()}, u"-2147483648"},
    {"UnsignedOfNegativeIntWraps", u"%u", {-1}, u"4294967295"},
    {"SignedOfLargeDwordIsNegative", u"%d", {std::uint32_t{4294967295u}}, u"-1"},
    {"SignedOfSmallUnsignedIsPromoted",
     u"%d %d %i",
     {std::uint16_t{40000}, std::uint8_t{200}, std::uint16_t{65535}},
     u"40000 200 65535"},
    {"SignedOfSmallSignedKeepsSign",
     u"%d %d",
     {std::int16_t{-25536}, std::int8_t{-56}},
     u"-25536 -56"},
    {"SixtyFourBit", u"%lld", {std::int64_t{-9000000000}}, u"-9000000000"},
    {"LengthModifiersIgnored", u"%ld %I64u %hd %zu", {1, 2u, 3, std::size_t{4}}, u"1 2 3 4"},
    {"LowerHex", u"%x", {255}, u"ff"},
    {"UpperHexAlternate", u"%#X", {255}, u"0XFF"},
    {"AlternateHexOfZeroHasNoPrefix", u"%#x", {0}, u"0"},
    {"HexPrecision", u"%.8X", {0xBEEFu}, u"0000BEEF"},
    {"Octal", u"%o %#o", {8, 8}, u"10 010"},
    {"FixedFourDecimals", u"%.4f", {0.356}, u"0.3560"},
    {"FixedRoundsToNearest", u"%.4f %.4f", {0.01606, 0.99996}, u"0.0161 1.0000"},
    {"FixedOfWrappedTicks", u"%.4f", {4294967.295}, u"4294967.2950"},
    {"FixedDefaultPrecision", u"%f", {1.5}, u"1.500000"},
    {"FixedFromInteger", u"%.4f", {2}, u"2.0000"},
    {"FixedFromUnsignedKeepsItsValue", u"%.1f %.1f", {4294967295u, -3}, u"4294967295.0 -3.0"},
    {"FixedWidthAndSign", u"%8.2f|%+.1f", {-3.14159, 2.25}, u"   -3.14|+2.2"},
    {"FixedZeroPad", u"%08.3f", {-1.5}, u"-001.500"},
    {"Scientific", u"%e", {12345.678}, u"1.234568e+04"},
    {"GeneralDropsZeros", u"%g %G", {0.0001, 1e-10}, u"0.0001 1E-10"},
    {"Text", u"[%s]", {u"PI"}, u"[PI]"},
    {"TextPrecisionCuts", u"%.3s", {u"abcdef"}, u"abc"},
    {"TextWidth", u"%5s|%-5s|", {u"PI", u"PI"}, u"   PI|PI   |"},
    {"WideTextModifiers", u"%ls %S", {u"a", u"b"}, u"a b"},
    {"NullTextPrintsNull", u"%s", {static_cast<const char16_t*>(nullptr)}, u"(null)"},
    {"NonAsciiText", u"%s", {u"\u00E9\U0001F600"}, u"\u00E9\U0001F600"},
    {"Percent", u"100%% done", {}, u"100% done"},
    {"Character", u"%c%c", {0x41, 0x3042}, u"A\u3042"},
    {"ExtraArgumentsIgnored", u"%d", {1, 2}, u"1"},
    {"EmptyFormat", u"", {1}, u""},
};

INSTANTIATE_TEST_SUITE_P(Conversions, FormatTextTest, ::testing::ValuesIn(kFormatCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct MalformedCase {
    const char* name;
    std::u16string_view format;
    std::vector<FormatArg> args;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const MalformedCase& c, std::ostream* out) {
    *out << c.name;
}

class MalformedFormatTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedFormatTest, FailsWithoutOutput) {
    const MalformedCase& c = GetParam();
    EXPECT_FALSE(FormatTextArgs(c.format, c.args).has_value());
}

const MalformedCase kMalformedCases[] = {
    {"MissingArgument", u"%d and %d", {1}}, {"NoArgumentsAtAll", u"%s", {}},
    {"TextForNumber", u"%d", {u"x"}},       {"NumberForText", u"%s", {5}},
    {"RealForInteger", u"%d", {1.5}},       {"TextForReal", u"%f", {u"x"}},
    {"RealForCharacter", u"%c", {1.0}},     {"WriteBackRefused", u"%n", {1}},
    {"PointerRefused", u"%p", {1}},         {"StarWidthRefused", u"%*d", {5, 1}},
    {"UnknownConversion", u"%q", {1}},      {"TrailingPercent", u"abc%", {1}},
    {"TrailingModifier", u"%l", {1}},       {"HugeWidth", u"%99999999999999999999d", {1}},
    {"HugePrecision", u"%.5000f", {1.0}},
};

INSTANTIATE_TEST_SUITE_P(Refusals, MalformedFormatTest, ::testing::ValuesIn(kMalformedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FormatTextTemplateTest, AcceptsTheProgramsTextTypes) {
    const std::u16string owned = u"owned";
    const std::u16string_view view = u"view";
    const char16_t* pointer = u"pointer";
    EXPECT_EQ(FormatText(u"%s %s %s %s", owned, view, pointer, u"literal"),
              u"owned view pointer literal");
    EXPECT_EQ(FormatText(u"%s", nullptr), u"(null)");
    EXPECT_EQ(FormatText(u"%d %u %.1f", short{-2}, 3ul, 0.25f), u"-2 3 0.2");
}

TEST(FormatTextTemplateTest, WidestFieldIsAllowed) {
    const std::optional<std::u16string> text = FormatText(u"%4096d", 1);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->size(), kMaxFormatField);
    EXPECT_EQ(text->back(), u'1');
}

}  // namespace
}  // namespace mossvane
