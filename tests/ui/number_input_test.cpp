#include "ui/number_input.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/utf8.h"

namespace mossvane {
namespace {

struct FilterCase {
    std::u16string input;
    std::u16string expected;
    bool changed;
};

void PrintTo(const FilterCase& testCase, std::ostream* out) {
    *out << platform::Utf16ToUtf8(testCase.input);
}

class FilterDigitsTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterDigitsTest, KeepsOnlyDigitsInOrder) {
    std::u16string text = GetParam().input;
    EXPECT_EQ(FilterDigits(text), GetParam().changed);
    EXPECT_EQ(text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FilterDigitsTest,
    ::testing::Values(FilterCase{u"", u"", false}, FilterCase{u"0123", u"0123", false},
                      FilterCase{u"12a-3 4", u"1234", true}, FilterCase{u"a", u"", true},
                      FilterCase{u"-+ .", u"", true},
                      FilterCase{u"\uFF11\uFF12", u"", true},  // full-width digits are no digits
                      FilterCase{u"9\u0663", u"9", true},      // nor are Arabic-Indic ones
                      FilterCase{u"12345678901234567890", u"12345678901234567890", false},
                      FilterCase{u"1234567890123456789a", u"1234567890123456789", true},
                      FilterCase{u"123456789012345678901", u"", true},
                      FilterCase{u"abcdefghijklmnopqrstu", u"", true}));

TEST(FilterDigitsAllowedSetTest, UsesTheGivenSet) {
    std::u16string text = u"a1b2";
    EXPECT_TRUE(FilterDigits(text, u"ab"));
    EXPECT_EQ(text, u"ab");
}

struct CheckCase {
    std::u16string number;
    NumberCheck expected;
};

void PrintTo(const CheckCase& testCase, std::ostream* out) {
    *out << platform::Utf16ToUtf8(testCase.number);
}

class CheckNumberTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckNumberTest, JudgesByLength) {
    EXPECT_EQ(CheckNumber(GetParam().number), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, CheckNumberTest,
    ::testing::Values(CheckCase{u"", NumberCheck::Empty}, CheckCase{u"1", NumberCheck::TooShort},
                      CheckCase{u"123", NumberCheck::TooShort},
                      CheckCase{u"0123", NumberCheck::Accepted},
                      CheckCase{u"12345678901234567890", NumberCheck::Accepted}));

TEST(IsWellFormedNumberTest, AcceptsFourToTwentyDigitsOnly) {
    EXPECT_TRUE(IsWellFormedNumber(u"0000"));
    EXPECT_TRUE(IsWellFormedNumber(u"12345678901234567890"));
    EXPECT_FALSE(IsWellFormedNumber(u"123"));
    EXPECT_FALSE(IsWellFormedNumber(u"123456789012345678901"));
    EXPECT_FALSE(IsWellFormedNumber(u"12 34"));
    EXPECT_FALSE(IsWellFormedNumber(u""));
}

}  // namespace
}  // namespace mossvane
