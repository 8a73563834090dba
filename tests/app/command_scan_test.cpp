#include "app/command_scan.h"

#include <gtest/gtest.h>

#include <string>

namespace mossvane {
namespace {

struct FindCase {
    const char* name;
    const char16_t* text;
    const char16_t* set;
    int expectedOffset;  // from the text's start; -1 for none
};

void PrintTo(const FindCase& param, std::ostream* out) {
    *out << param.name;
}

class FindOneOfTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindOneOfTest, GivesThePositionAfterTheCharacter) {
    const FindCase& c = GetParam();
    const char16_t* found = FindOneOf(c.text, c.set);
    EXPECT_EQ(found == nullptr ? -1 : static_cast<int>(found - c.text), c.expectedOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FindOneOfTest,
    ::testing::Values(FindCase{"SlashAtStart", u"/Exit", u"/", 1},
                      FindCase{"TextBeforeSlashSkipped", u"abc /u", u"/", 5},
                      FindCase{"FirstOfSeveral", u"a/b/c", u"/", 2},
                      FindCase{"HyphenIsNoVerb", u"-Open", u"/", -1},
                      FindCase{"EmptyText", u"", u"/", -1}, FindCase{"SlashLast", u"x/", u"/", 2},
                      FindCase{"SpaceNotTab", u"i\tx y", u" ", 4},
                      FindCase{"AnyOfTheSet", u"ab;c", u",;", 3},
                      FindCase{"SurrogatePairStepped", u"\U0001F600/", u"/", 3},
                      FindCase{"StopsAtNull", u"a\0/b", u"/", -1}));

TEST(FindOneOfNullTest, NullTextGivesNone) {
    EXPECT_EQ(FindOneOf(nullptr, u"/"), nullptr);
}

struct WordCase {
    const char* name;
    const char16_t* word;
    const char16_t* keyword;
    bool equal;
};

void PrintTo(const WordCase& param, std::ostream* out) {
    *out << param.name;
}

class WordEqualsTest : public ::testing::TestWithParam<WordCase> {};

TEST_P(WordEqualsTest, ComparesWithoutCase) {
    EXPECT_EQ(WordEquals(GetParam().word, GetParam().keyword), GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(
    Words, WordEqualsTest,
    ::testing::Values(
        WordCase{"SameCase", u"Exit", u"Exit", true}, WordCase{"UpperCase", u"EXIT", u"Exit", true},
        WordCase{"LowerCase", u"exit", u"Exit", true},
        WordCase{"EndsAtSpace", u"open rest", u"Open", true},
        WordCase{"EndsAtTab", u"i\t/u", u"i", true},
        WordCase{"LongerWord", u"OpenUI", u"Open", false},
        WordCase{"Opener", u"Opener", u"Open", false},
        WordCase{"SlashDoesNotEndAWord", u"Open/Exit", u"Open", false},
        WordCase{"ShorterWord", u"Ope", u"Open", false}, WordCase{"EmptyWord", u"", u"i", false},
        WordCase{"SpaceFirst", u" i", u"i", false}, WordCase{"SingleLetter", u"U", u"u", true},
        WordCase{"InstallIsNotI", u"install", u"i", false},
        WordCase{"LineFeedIsPartOfTheWord", u"u\n", u"u", false}));

}  // namespace
}  // namespace mossvane
