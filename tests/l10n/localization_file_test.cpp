#include "l10n/localization_file.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>

namespace mossvane {
namespace {

TextTable Fill(const char* xml, std::u16string_view languageCode) {
    TiXmlDocument document;
    document.Parse(xml);
    EXPECT_FALSE(document.Error()) << document.ErrorDesc();
    TextTable table;
    FillTextTable(document, languageCode, table);
    return table;
}

struct FillCase {
    const char* name;
    const char* xml;
    TextTable table;  // for the language "en"
};

class FillTextTableTest : public ::testing::TestWithParam<FillCase> {};

TEST_P(FillTextTableTest, GivesExactlyTheUsableEntries) {
    EXPECT_EQ(Fill(GetParam().xml, u"en"), GetParam().table);
}

std::string CaseName(const FillCase& param) {
    return param.name;
}

// Test names under CTest are built from this.
void PrintTo(const FillCase& param, std::ostream* out) {
    *out << CaseName(param);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, FillTextTableTest,
    ::testing::Values(
        FillCase{"GroupSlashIdIsTheKey",
                 R"(<L><Msg LN="EN" GR="PI"><Id>OK</Id><Val>Okay</Val></Msg></L>)",
                 {{u"PI/OK", u"Okay"}}},
        FillCase{"LanguageMatchesInAnyCase",
                 R"(<L><Msg LN="En" GR="PI"><Id>OK</Id><Val>Okay</Val></Msg></L>)",
                 {{u"PI/OK", u"Okay"}}},
        FillCase{"OtherLanguagesAndMissingLanguageAreSkipped",
                 R"(<L><Msg LN="KR" GR="PI"><Id>OK</Id><Val>a</Val></Msg>)"
                 R"(<Msg GR="PI"><Id>OK</Id><Val>b</Val></Msg>)"
                 R"(<Msg LN="ENG" GR="PI"><Id>OK</Id><Val>c</Val></Msg>)"
                 R"(<Msg LN="" GR="PI"><Id>OK</Id><Val>d</Val></Msg></L>)",
                 {}},
        FillCase{"MissingGroupGivesALeadingSlash",
                 R"(<L><Msg LN="EN"><Id>OK</Id><Val>Okay</Val></Msg></L>)",
                 {{u"/OK", u"Okay"}}},
        FillCase{"MissingOrEmptyIdOrValIsSkipped",
                 R"(<L><Msg LN="EN" GR="PI"><Val>a</Val></Msg>)"
                 R"(<Msg LN="EN" GR="PI"><Id>B</Id></Msg>)"
                 R"(<Msg LN="EN" GR="PI"><Id>C</Id><Val></Val></Msg>)"
                 R"(<Msg LN="EN" GR="PI"><Id>D</Id><Val/></Msg>)"
                 R"(<Msg LN="EN" GR="PI"><Id/><Val>e</Val></Msg>)"
                 R"(<Msg LN="EN" GR="PI"><Id>F</Id><Val><![CDATA[]]></Val></Msg></L>)",
                 {}},
        FillCase{"ValStartingWithAnElementOrCommentHasNoText",
                 R"(<L><Msg LN="EN" GR="PI"><Id>A</Id><Val><b>x</b>tail</Val></Msg>)"
                 R"(<Msg LN="EN" GR="PI"><Id>B</Id><Val><!-- c -->tail</Val></Msg></L>)",
                 {}},
        FillCase{"CdataCountsAsText",
                 R"(<L><Msg LN="EN" GR="PI"><Id>OK</Id><Val><![CDATA[<b>&]]></Val></Msg></L>)",
                 {{u"PI/OK", u"<b>&"}}},
        FillCase{
            "EntitiesAndCharacterReferencesAreDecoded",
            R"(<?xml version="1.0" encoding="UTF-8"?>)"
            R"(<L><Msg LN="EN" GR="A&amp;B"><Id>&lt;x&gt;</Id><Val>&#xD655;&quot;</Val></Msg></L>)",
            {{u"A&B/<x>", u"\uD655\""}}},
        FillCase{"Utf8TextBecomesUtf16",
                 "<L><Msg LN=\"EN\" GR=\"PI\"><Id>OK</Id><Val>\xED\x99\x95\xEC\x9D\xB8 "
                 "\xF0\x9F\x98\x80</Val></Msg></L>",
                 {{u"PI/OK", u"\uD655\uC778 \U0001F600"}}},
        FillCase{"TheLastEntryForAKeyWins",
                 R"(<L><Msg LN="EN" GR="PI"><Id>OK</Id><Val>first</Val></Msg>)"
                 R"(<Msg LN="en" GR="PI"><Id>OK</Id><Val>second</Val></Msg></L>)",
                 {{u"PI/OK", u"second"}}},
        FillCase{
            "OnlyTheFirstIdAndValCount",
            R"(<L><Msg LN="EN" GR="PI"><Val>v1</Val><Id>OK</Id><Id>No</Id><Val>v2</Val></Msg></L>)",
            {{u"PI/OK", u"v1"}}},
        FillCase{"SlashesStayInTheKey",
                 R"(<L><Msg LN="EN" GR="A/B"><Id>C/D</Id><Val>x</Val></Msg></L>)",
                 {{u"A/B/C/D", u"x"}}},
        FillCase{"OnlyMsgElementsDirectlyBelowTheRootAreRead",
                 R"(<L><Group><Msg LN="EN" GR="PI"><Id>A</Id><Val>a</Val></Msg></Group>)"
                 R"(<msg LN="EN" GR="PI"><Id>B</Id><Val>b</Val></msg>)"
                 R"(<Entry LN="EN" GR="PI"><Id>C</Id><Val>c</Val></Entry>)"
                 R"(<Msg LN="EN" GR="PI"><id>D</id><Val>d</Val></Msg>)"
                 R"(<Msg LN="EN" GR="PI"><Id>E</Id><Val>e</Val></Msg></L>)",
                 {{u"PI/E", u"e"}}},
        FillCase{"OnlyTheFirstElementOfTheDocumentIsTheRoot",
                 R"(<!-- note --><L><Msg LN="EN" GR="PI"><Id>A</Id><Val>a</Val></Msg></L>)"
                 R"(<M><Msg LN="EN" GR="PI"><Id>B</Id><Val>b</Val></Msg></M>)",
                 {{u"PI/A", u"a"}}},
        FillCase{"NoTrimmingOrEscapeProcessing",
                 R"(<L><Msg LN="EN" GR="SFPI"><Id>Fail</Id><Val>one\r\ntwo {1} %d</Val></Msg></L>)",
                 {{u"SFPI/Fail", u"one\\r\\ntwo {1} %d"}}}));

TEST(FillTextTableTest, EmptyDocumentLeavesTheTableAsItWas) {
    TiXmlDocument document;
    TextTable table{{u"PI/OK", u"kept"}};
    FillTextTable(document, u"en", table);
    EXPECT_EQ(table, (TextTable{{u"PI/OK", u"kept"}}));
}

TEST(FillTextTableTest, EachLanguageGetsOnlyItsOwnEntries) {
    const char* xml = R"(<L><Msg LN="EN" GR="PI"><Id>OK</Id><Val>OK</Val></Msg>)"
                      R"(<Msg LN="kr" GR="PI"><Id>OK</Id><Val>KR</Val></Msg>)"
                      R"(<Msg LN="KR" GR="PI"><Id>Cancel</Id><Val>KRC</Val></Msg></L>)";
    const TextTable korean{{u"PI/OK", u"KR"}, {u"PI/Cancel", u"KRC"}};
    EXPECT_EQ(Fill(xml, u"KR"), korean);
    EXPECT_EQ(Fill(xml, u"kr"), korean);
    EXPECT_EQ(Fill(xml, u"en"), (TextTable{{u"PI/OK", u"OK"}}));
    EXPECT_TRUE(Fill(xml, u"gr").empty());
}

TEST(HasLanguageEntryTest, LooksOnlyAtLanguageAttributesOfTopLevelEntries) {
    TiXmlDocument document;
    document.Parse(R"(<L><Msg LN="kr"/><X><Msg LN="GR"/></X><Msg LN="fn" GR="a"/></L>)");
    EXPECT_TRUE(HasLanguageEntry(document, u"KR"));
    EXPECT_TRUE(HasLanguageEntry(document, u"FN"));
    EXPECT_FALSE(HasLanguageEntry(document, u"GR"));
    EXPECT_FALSE(HasLanguageEntry(document, u"EN"));
    EXPECT_FALSE(HasLanguageEntry(TiXmlDocument(), u"EN"));
}

struct ParseCase {
    const char* name;
    std::string bytes;
    bool wellFormed;
    TextTable table;  // for the language "en"
};

class ParseLocalizationTextTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseLocalizationTextTest, ReadsTheTextsAsTheFileLoaderWould) {
    TiXmlDocument document;
    EXPECT_EQ(ParseLocalizationText(GetParam().bytes, document), GetParam().wellFormed);
    TextTable table;
    FillTextTable(document, u"en", table);
    EXPECT_EQ(table, GetParam().table);
}

void PrintTo(const ParseCase& param, std::ostream* out) {
    *out << param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, ParseLocalizationTextTest,
    ::testing::Values(
        // TinyXML folds white space in texts, line ends included.
        ParseCase{"LineEndsFoldLikeOtherWhiteSpace",
                  "<L>\r\n<Msg LN=\"EN\" GR=\"G\"><Id>a</Id><Val>1\r\n2\r3</Val></Msg></L>",
                  true,
                  {{u"G/a", u"1 2 3"}}},
        ParseCase{"IllFormedUtf8BecomesReplacementCharacters",
                  "<L><Msg LN=\"EN\" GR=\"G\"><Id>a</Id><Val>x\xC3y\xFF</Val></Msg></L>",
                  true,
                  {{u"G/a", u"x\uFFFDy\uFFFD"}}},
        ParseCase{"ALeadByteAtTheVeryEndIsNoName", "<L><Msg LN=\"EN\"><\xF0", false, {}},
        ParseCase{"ByteOrderMarkIsSkipped",
                  "\xEF\xBB\xBF<L><Msg LN=\"EN\" GR=\"G\"><Id>a</Id><Val>b</Val></Msg></L>",
                  true,
                  {{u"G/a", u"b"}}}));

TEST(ParseLocalizationTextTest, ReplacesWhatTheDocumentHeld) {
    TiXmlDocument document;
    ASSERT_TRUE(
        ParseLocalizationText("<A><Msg LN=\"EN\"><Id>a</Id><Val>b</Val></Msg></A>", document));
    ASSERT_TRUE(ParseLocalizationText("<B/>", document));
    EXPECT_STREQ(document.RootElement()->Value(), "B");
    EXPECT_EQ(document.RootElement()->NextSiblingElement(), nullptr);
}

}  // namespace
}  // namespace mossvane
