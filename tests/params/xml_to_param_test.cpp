#include "params/xml_to_param.h"

#include <gtest/gtest.h>

#include <string>

#include "params/text_conversion.h"

namespace mossvane {
namespace {

struct XmlCase {
    const char* name;
    const char* document;
    SectionParamMap expected;
};

void PrintTo(const XmlCase& param, std::ostream* out) {
    *out << param.name;
}

SectionParamMap Convert(const char* document) {
    tinyxml2::XMLDocument parsed;
    parsed.Parse(document);
    XML2Param2 converter;
    if (tinyxml2::XMLElement* root = parsed.FirstChildElement()) root->Accept(&converter);
    return converter.params;
}

class XmlToParamTest : public ::testing::TestWithParam<XmlCase> {};

TEST_P(XmlToParamTest, GivesTheSections) {
    EXPECT_EQ(Convert(GetParam().document), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Walks, XmlToParamTest,
    ::testing::Values(
        XmlCase{"RootAloneGivesNothing", "<r a='1' b='2'>text</r>", {}},
        XmlCase{"SectionAttributes",
                "<r><S a='1' b='two'/></r>",
                {{u"S", {{u"@a", u"1"}, {u"@b", u"two"}}}}},
        XmlCase{"SectionTextAloneGivesNothing", "<r><S>text</S></r>", {}},
        XmlCase{"InstallLayout",
                "<Settings><DefaultValue><DevmodeList>a;b</DevmodeList>"
                "<PhoneNumberList>1;2</PhoneNumberList></DefaultValue></Settings>",
                {{u"DefaultValue", {{u"DevmodeList", u"a;b"}, {u"PhoneNumberList", u"1;2"}}}}},
        XmlCase{"NestedPathsJoinedBySlash",
                "<r><S><A>x<B>y<C>z</C></B></A><D>w</D></S></r>",
                {{u"S", {{u"A", u"x"}, {u"A/B", u"y"}, {u"A/B/C", u"z"}, {u"D", u"w"}}}}},
        XmlCase{"ChildTextAfterGrandchildIsLost",
                "<r><S><A><B>y</B>x</A></S></r>",
                {{u"S", {{u"A/B", u"y"}}}}},
        XmlCase{"EmptyElementGivesNoEntry", "<r><S><A/><B></B></S></r>", {}},
        XmlCase{"AttributesBelowSectionIgnored",
                "<r><S><A k='v'>x</A></S></r>",
                {{u"S", {{u"A", u"x"}}}}},
        XmlCase{"CommentFirstHidesText",
                "<r><S><A><!-- note -->x</A><B>y<!-- note -->z</B></S></r>",
                {{u"S", {{u"B", u"y"}}}}},
        XmlCase{"SameNamedSectionsMerge",
                "<r><S a='1'><A>old</A><B>b</B></S><T><A>t</A></T><S a='2'><A>new</A></S></r>",
                {{u"S", {{u"@a", u"2"}, {u"A", u"new"}, {u"B", u"b"}}}, {u"T", {{u"A", u"t"}}}}},
        XmlCase{"LaterSamePathWins", "<r><S><A>1</A><A>2</A></S></r>", {{u"S", {{u"A", u"2"}}}}},
        XmlCase{"PathsOfSiblingsDontLeak",
                "<r><S><A><B/></A><C><D>d</D></C></S><U><E>e</E></U></r>",
                {{u"S", {{u"C/D", u"d"}}}, {u"U", {{u"E", u"e"}}}}},
        // Attribute values are read in the ANSI code page, element texts as
        // UTF-8: the same bytes give different characters where the code
        // page is not UTF-8.
        XmlCase{"EntitiesAndUtf8TextsDecoded",
                "<r><S v='&lt;&#233;&gt;'><A>&amp;\xC3\xA9\xE2\x82\xAC</A></S></r>",
                {{u"S", {{u"@v", AnsiToWide("<\xC3\xA9>")}, {u"A", u"&\u00E9\u20AC"}}}}},
        XmlCase{
            "CdataIsText", "<r><S><A><![CDATA[a;<b>]]></A></S></r>", {{u"S", {{u"A", u"a;<b>"}}}}},
        XmlCase{"NotWellFormedGivesNothing", "<r><S><A>x</A></S>", {}},
        XmlCase{"NoElementGivesNothing", "<?xml version='1.0'?><!-- only -->", {}}));

// The converter's own state comes back to where it started, so the same
// section names found again at the top level are still sections.
TEST(XmlToParamWalkTest, OneConverterServesTwoWalks) {
    tinyxml2::XMLDocument first;
    first.Parse("<r><S><A><B>x</B></A></S></r>");
    tinyxml2::XMLDocument second;
    second.Parse("<r><T><C>y</C></T></r>");
    XML2Param2 converter;
    first.FirstChildElement()->Accept(&converter);
    second.FirstChildElement()->Accept(&converter);
    const SectionParamMap expected{{u"S", {{u"A/B", u"x"}}}, {u"T", {{u"C", u"y"}}}};
    EXPECT_EQ(converter.params, expected);
}

}  // namespace
}  // namespace mossvane
