#include "l10n/language_code.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mossvane {
namespace {

struct LangIdCase {
    std::uint16_t languageId;
    const char16_t* code;
};

class LanguageCodeFromLangIdTest : public ::testing::TestWithParam<LangIdCase> {};

TEST_P(LanguageCodeFromLangIdTest, GivesTheProgramsCode) {
    EXPECT_EQ(LanguageCodeFromLangId(GetParam().languageId), GetParam().code);
}

// Names each case by its language id, such as "Id0412".
std::string LangIdName(const LangIdCase& param) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string name = "Id";
    for (int shift = 12; shift >= 0; shift -= 4) {
        name += kDigits[(param.languageId >> shift) & 15];
    }
    return name;
}

// Test names under CTest are built from this.
void PrintTo(const LangIdCase& param, std::ostream* out) {
    *out << LangIdName(param);
}

INSTANTIATE_TEST_SUITE_P(EveryLanguageOfTheTable, LanguageCodeFromLangIdTest,
                         ::testing::Values(LangIdCase{0x0401, u"AB"}, LangIdCase{0x0C01, u"AB"},
                                           LangIdCase{0x0404, u"CT"}, LangIdCase{0x0804, u"CP"},
                                           LangIdCase{0x0C04, u"CP"}, LangIdCase{0x0004, u"CP"},
                                           LangIdCase{0x0405, u"CZ"}, LangIdCase{0x0406, u"DN"},
                                           LangIdCase{0x0407, u"GR"}, LangIdCase{0x0807, u"GR"},
                                           LangIdCase{0x0408, u"EL"}, LangIdCase{0x0409, u"EN"},
                                           LangIdCase{0x0809, u"EN"}, LangIdCase{0x0C0A, u"SP"},
                                           LangIdCase{0x040B, u"FI"}, LangIdCase{0x040C, u"FN"},
                                           LangIdCase{0x040D, u"HB"}, LangIdCase{0x040E, u"HU"},
                                           LangIdCase{0x0410, u"IT"}, LangIdCase{0x0412, u"KR"},
                                           LangIdCase{0x0413, u"DT"}, LangIdCase{0x0414, u"NR"},
                                           LangIdCase{0x0814, u"NR"}, LangIdCase{0x0415, u"PO"},
                                           LangIdCase{0x0416, u"BP"}, LangIdCase{0x0816, u"PT"},
                                           LangIdCase{0x0419, u"RU"}, LangIdCase{0x041D, u"SW"},
                                           LangIdCase{0x041F, u"TK"}));

INSTANTIATE_TEST_SUITE_P(LanguagesWithoutACodeOfTheirOwn, LanguageCodeFromLangIdTest,
                         ::testing::Values(LangIdCase{0x0411, u"EN"},  // Japanese
                                           LangIdCase{0x0000, u"EN"}, LangIdCase{0x041E, u"EN"},
                                           LangIdCase{0x0422, u"EN"},
                                           // Bits 8 and 9 belong to the primary language: 0x307 is
                                           // not German.
                                           LangIdCase{0x0307, u"EN"}, LangIdCase{0x0112, u"EN"}));

INSTANTIATE_TEST_SUITE_P(PortugueseOfAnotherCountryHasNoCode, LanguageCodeFromLangIdTest,
                         ::testing::Values(LangIdCase{0x0016, u""}, LangIdCase{0x0C16, u""},
                                           LangIdCase{0xFC16, u""}));

TEST(LanguageCodeTest, LowerCasingChangesOnlyAsciiCapitals) {
    EXPECT_EQ(ToLowerLanguageCode(u"KR"), u"kr");
    EXPECT_EQ(ToLowerLanguageCode(u"Fn-X9"), u"fn-x9");
    EXPECT_EQ(ToLowerLanguageCode(u"\u00C9\u0130Z"), u"\u00C9\u0130z");
    EXPECT_EQ(ToLowerLanguageCode(u"@[`{"), u"@[`{");
}

TEST(LanguageCodeTest, ComparisonFoldsOnlyAsciiLetters) {
    EXPECT_TRUE(EqualsIgnoringCase(u"kr", u"KR"));
    EXPECT_TRUE(EqualsIgnoringCase(u"", u""));
    EXPECT_FALSE(EqualsIgnoringCase(u"KR", u"KRX"));
    EXPECT_FALSE(EqualsIgnoringCase(u"KR", u""));
    EXPECT_FALSE(EqualsIgnoringCase(u"\u00E9", u"\u00C9"));
    // '@' and '`' sit just before 'A' and 'a'; they must not fold.
    EXPECT_FALSE(EqualsIgnoringCase(u"@", u"`"));
}

TEST(LanguageCodeTest, ArabicAndHebrewAreRightToLeftInAnyCase) {
    EXPECT_TRUE(IsRightToLeftLanguage(u"ab"));
    EXPECT_TRUE(IsRightToLeftLanguage(u"HB"));
    EXPECT_TRUE(IsRightToLeftLanguage(u"hB"));
    EXPECT_FALSE(IsRightToLeftLanguage(u"en"));
    EXPECT_FALSE(IsRightToLeftLanguage(u""));
    EXPECT_FALSE(IsRightToLeftLanguage(u"abc"));
}

struct ListCase {
    const char* name;
    const char16_t* list;
    std::vector<std::u16string> codes;
};

class SplitLanguageListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(SplitLanguageListTest, KeepsTheOrderAndDropsEmptyPieces) {
    EXPECT_EQ(SplitLanguageList(GetParam().list), GetParam().codes);
}

std::string ListName(const ListCase& param) {
    return param.name;
}

// Test names under CTest are built from this.
void PrintTo(const ListCase& param, std::ostream* out) {
    *out << ListName(param);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SplitLanguageListTest,
    ::testing::Values(ListCase{"Empty", u"", {}}, ListCase{"OnlySeparators", u":::", {}},
                      ListCase{"OneCode", u"KR", {u"KR"}},
                      ListCase{"TwoCodes", u"FN:EN", {u"FN", u"EN"}},
                      ListCase{"SurplusSeparators", u":FN::EN:", {u"FN", u"EN"}},
                      ListCase{"CodesKeptAsGiven", u"en:EN:x y", {u"en", u"EN", u"x y"}}));

}  // namespace
}  // namespace mossvane
