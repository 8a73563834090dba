#include "ui/dialog_texts.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "l10n/text_keys.h"
#include "platform/utf8.h"
#include "support/table_provider.h"

namespace mossvane {
namespace {

struct ReplaceCase {
    std::u16string labelTemplate;
    std::u16string expected;
};

void PrintTo(const ReplaceCase& testCase, std::ostream* out) {
    *out << platform::Utf16ToUtf8(testCase.labelTemplate);
}

class ComposeRangeLabelTest : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ComposeRangeLabelTest, PutsInTheLimitsWhereverTheyAppear) {
    EXPECT_EQ(ComposeRangeLabel(GetParam().labelTemplate), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Templates, ComposeRangeLabelTest,
                         ::testing::Values(ReplaceCase{u"({1} - {2} Digit)", u"(4 - 20 Digit)"},
                                           ReplaceCase{u"{2}{1}{2}{1}", u"204204"},
                                           ReplaceCase{u"\uC22B\uC790 {1}~{2}\uC790\uB9AC",
                                                       u"\uC22B\uC790 4~20\uC790\uB9AC"},
                                           ReplaceCase{u"no placeholders", u"no placeholders"},
                                           ReplaceCase{u"{{1}}", u"{4}"}, ReplaceCase{u"{1", u"{1"},
                                           ReplaceCase{u"", u""}));

class ComposeLackNumberTextTest : public ::testing::TestWithParam<ReplaceCase> {};

// The template is outside input: whatever it holds, only "%d" is touched and
// nothing is ever read as a format argument.
TEST_P(ComposeLackNumberTextTest, ReplacesOnlyTheCountDirective) {
    EXPECT_EQ(ComposeLackNumberText(GetParam().labelTemplate), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Templates, ComposeLackNumberTextTest,
    ::testing::Values(
        ReplaceCase{u"Identification number should be inputted more than %d digits number.",
                    u"Identification number should be inputted more than 4 digits number."},
        ReplaceCase{u"%d and %d", u"4 and 4"}, ReplaceCase{u"%s %n %x %", u"%s %n %x %"},
        ReplaceCase{u"100% %d", u"100% 4"}, ReplaceCase{u"%%d", u"%4"},
        ReplaceCase{u"no count", u"no count"}));

using Table = std::map<std::u16string, std::u16string>;

using test::TableProvider;

TEST(NumberDialogTextsTest, EnglishDefaultsWithoutProvider) {
    const NumberDialogTexts texts = LoadNumberDialogTexts(LocalizeConsumer(nullptr));
    EXPECT_EQ(texts.caption, u"Personal Identification Number");
    EXPECT_EQ(texts.rangeLabel, u"(4 - 20 Digit)");
    EXPECT_EQ(texts.okButton, u"OK");
    EXPECT_EQ(texts.cancelButton, u"Cancel");
    EXPECT_EQ(texts.emptyNumber.caption, u"Empty Number");
    EXPECT_EQ(texts.emptyNumber.text, u"Identification number is empty. Input numbers.");
    EXPECT_EQ(texts.lackNumber.caption, u"Lack Number");
    EXPECT_EQ(texts.lackNumber.text,
              u"Identification number should be inputted more than 4 digits number.");
}

TEST(NumberDialogTextsTest, LocalizedTemplatesAreComposed) {
    TableProvider provider(Table{{kTextRangeLabel.key, u"[{2}/{1}]"},
                                 {kTextLackNumberFormat.key, u"min %d (%s)"},
                                 {kTextDialogCaption.key, u"PIN"},
                                 {kTextEmptyNumberCaption.key, u"Leer"}});
    const NumberDialogTexts texts = LoadNumberDialogTexts(LocalizeConsumer(&provider));
    EXPECT_EQ(texts.caption, u"PIN");
    EXPECT_EQ(texts.rangeLabel, u"[20/4]");
    EXPECT_EQ(texts.lackNumber.text, u"min 4 (%s)");
    EXPECT_EQ(texts.emptyNumber.caption, u"Leer");
    EXPECT_EQ(texts.okButton, u"OK");
}

TEST(NumberDialogTextsTest, RejectionMessageMatchesTheCheck) {
    const LocalizeConsumer english(nullptr);
    EXPECT_EQ(RejectionMessage(NumberCheck::Empty, english).caption, u"Empty Number");
    EXPECT_EQ(RejectionMessage(NumberCheck::TooShort, english).caption, u"Lack Number");
}

TEST(NumberDialogTextsTest, RecordsRoundTrip) {
    TableProvider provider(Table{{kTextOkButton.key, u"\uD655\uC778"}});
    const NumberDialogTexts original = LoadNumberDialogTexts(LocalizeConsumer(&provider));
    NumberDialogTexts copy;
    ASSERT_TRUE(FromRecords(ToRecords(original), copy));
    EXPECT_EQ(ToRecords(copy), ToRecords(original));
    EXPECT_EQ(copy.okButton, u"\uD655\uC778");
    EXPECT_EQ(copy.lackNumber.text, original.lackNumber.text);
}

TEST(NumberDialogTextsTest, RecordsOfTheWrongCountAreRefused) {
    NumberDialogTexts texts;
    std::vector<std::u16string> records =
        ToRecords(LoadNumberDialogTexts(LocalizeConsumer(nullptr)));
    records.pop_back();
    EXPECT_FALSE(FromRecords(records, texts));
    records.resize(9);
    EXPECT_FALSE(FromRecords(records, texts));
    EXPECT_TRUE(texts.caption.empty());
}

}  // namespace
}  // namespace mossvane
