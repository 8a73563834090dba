#include "params/param_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "params/param_text.h"

namespace mossvane {
namespace {

std::vector<std::u16string> Keys(const ParamMap& set) {
    std::vector<std::u16string> keys;
    for (const auto& entry : set) keys.push_back(entry.first);
    return keys;
}

TEST(ParamMapTest, IteratesInUnsignedCodeUnitOrder) {
    const ParamMap set{{u"b", u""},      {u"B", u""}, {u"a", u""}, {u"ab", u""},
                       {u"\xFFFF", u""}, {u"", u""},  {u"Z", u""}, {u"~", u""}};
    EXPECT_EQ(Keys(set),
              (std::vector<std::u16string>{u"", u"B", u"Z", u"a", u"ab", u"b", u"~", u"\xFFFF"}));
}

TEST(SetCommandTest, OpenUIOnEmptySetFormatsAsEightCharacters) {
    ParamMap set;
    SetCommand(set, u"OpenUI");
    const std::u16string text = FormatParamText(set);
    EXPECT_EQ(text, u"@=OpenUI");
    EXPECT_EQ(text.size(), 8u);
}

TEST(SetCommandTest, ReplacesTheCommandAndKeepsOtherEntries) {
    ParamMap set{{u"@", u"Exit"}, {u"x", u"1"}};
    SetCommand(set, u"GETINFO");
    EXPECT_EQ(set, (ParamMap{{u"@", u"GETINFO"}, {u"x", u"1"}}));
}

TEST(SetCommandTest, NullNameSetsTheEmptyCommand) {
    ParamMap set;
    SetCommand(set, nullptr);
    EXPECT_EQ(set, (ParamMap{{u"@", u""}}));
}

TEST(GetParamTest, AbsentKeyGivesTheEmptyString) {
    const ParamMap set{{u"RETURN", u"OK"}};
    EXPECT_EQ(GetParam(set, kCommandKey), u"");
    EXPECT_EQ(GetParam(set, u"return"), u"");
    EXPECT_EQ(GetParam(set, u"RETURN"), u"OK");
}

TEST(GetSectionParamTest, EmptySectionedSetGivesTheDefault) {
    const SectionParamMap sections;
    EXPECT_EQ(GetSectionParam(sections, u"DefaultValue", u"DevmodeList", u""), u"");
    EXPECT_EQ(GetSectionParam(sections, u"DefaultValue", u"DevmodeList", u"none"), u"none");
}

TEST(GetSectionParamTest, AbsentKeyInPresentSectionGivesTheDefault) {
    const SectionParamMap sections{{u"DefaultValue", {{u"PhoneNumberList", u"1"}}}};
    EXPECT_EQ(GetSectionParam(sections, u"DefaultValue", u"DevmodeList", u"none"), u"none");
    EXPECT_EQ(GetSectionParam(sections, u"defaultvalue", u"PhoneNumberList", u"none"), u"none");
    EXPECT_EQ(GetSectionParam(sections, u"DefaultValue", u"PhoneNumberList", u"none"), u"1");
}

TEST(GetSectionParamTest, PresentEmptyValueWinsOverTheDefault) {
    const SectionParamMap sections{{u"S", {{u"k", u""}}}};
    EXPECT_EQ(GetSectionParam(sections, u"S", u"k", u"default"), u"");
}

TEST(SetSectionParamTest, SecondSetOfTheSameKeyReplacesTheValue) {
    SectionParamMap sections;
    SetSectionParam(sections, u"S", u"k", u"1");
    SetSectionParam(sections, u"S", u"k", u"2");
    EXPECT_EQ(sections, (SectionParamMap{{u"S", {{u"k", u"2"}}}}));
}

TEST(SetSectionParamTest, NewKeyInExistingSectionKeepsTheOthers) {
    SectionParamMap sections{{u"S", {{u"a", u"1"}}}, {u"T", {{u"a", u"9"}}}};
    SetSectionParam(sections, u"S", u"b", u"2");
    EXPECT_EQ(sections,
              (SectionParamMap{{u"S", {{u"a", u"1"}, {u"b", u"2"}}}, {u"T", {{u"a", u"9"}}}}));
}

TEST(SetSectionParamTest, NewSectionHoldsTheSingleEntry) {
    SectionParamMap sections{{u"S", {{u"a", u"1"}}}};
    SetSectionParam(sections, u"", u"", u"");
    EXPECT_EQ(sections, (SectionParamMap{{u"", {{u"", u""}}}, {u"S", {{u"a", u"1"}}}}));
}

TEST(SetSectionParamTest, NarrowFormConvertsAllThreeTexts) {
    SectionParamMap sections;
    SetSectionParam(sections, "DefaultValue", "DevmodeList", "A4;Letter");
    SetSectionParam(sections, "DefaultValue", "DevmodeList", "A3");
    SetSectionParam(sections, "DefaultValue", nullptr, nullptr);
    EXPECT_EQ(sections,
              (SectionParamMap{{u"DefaultValue", {{u"", u""}, {u"DevmodeList", u"A3"}}}}));
}

}  // namespace
}  // namespace mossvane
