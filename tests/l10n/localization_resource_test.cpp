// Checks the localization file the build puts beside the executables.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>

#include "l10n/l10n_constants.h"
#include "l10n/localization_file.h"
#include "l10n/program_paths.h"
#include "l10n/text_keys.h"
#include "params/text_conversion.h"

namespace mossvane {
namespace {

class ShippedLocalizationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::u16string path = PathBesideProgram(l10n::kLocalizationFileName);
        ASSERT_TRUE(IsExistingFile(path)) << "the build copies it beside the tests";
        ASSERT_TRUE(m_document.LoadFile(WideToAnsi(path))) << m_document.ErrorDesc();
    }

    TextTable TableFor(std::u16string_view language) const {
        TextTable table;
        FillTextTable(m_document, language, table);
        return table;
    }

    TiXmlDocument m_document;
};

std::size_t Count(const std::u16string& text, std::u16string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::u16string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

TEST_F(ShippedLocalizationTest, EnglishAndKoreanHoldEveryKeyAndNothingElse) {
    for (const char16_t* language : {u"EN", u"KR"}) {
        const TextTable table = TableFor(language);
        EXPECT_EQ(table.size(), kAllLocalizedTexts.size());
        for (const LocalizedText& text : kAllLocalizedTexts) {
            EXPECT_EQ(table.count(text.key), 1u);
        }
    }
}

TEST_F(ShippedLocalizationTest, EnglishDialogTextsAreTheBuiltInOnes) {
    const TextTable english = TableFor(u"EN");
    for (const LocalizedText& text : kAllLocalizedTexts) {
        const std::u16string_view key(text.key);
        if (key.starts_with(u"PI/") && key != kTextRangeLabel.key) {
            EXPECT_EQ(english.at(text.key), text.defaultText);
        }
    }
    // The built-in range label has the numbers filled in already.
    EXPECT_EQ(english.at(kTextRangeLabel.key), u"({1} - {2} Digit)");
    EXPECT_EQ(english.at(kTextWarningCaption.key), u"Warning");
}

TEST_F(ShippedLocalizationTest, KoreanJobMessageIsTheBuiltInOne) {
    const TextTable korean = TableFor(u"kr");
    EXPECT_EQ(korean.at(kTextWarningCaption.key), kTextWarningCaption.defaultText);
    EXPECT_EQ(korean.at(kTextFailToCreatePrintJob.key), kTextFailToCreatePrintJob.defaultText);
    EXPECT_EQ(korean.at(kTextOkButton.key), u"\uD655\uC778");
}

TEST_F(ShippedLocalizationTest, PlaceholdersSurviveTranslation) {
    for (const char16_t* language : {u"EN", u"KR"}) {
        const TextTable table = TableFor(language);
        const std::u16string& range = table.at(kTextRangeLabel.key);
        EXPECT_EQ(Count(range, u"{1}"), 1u);
        EXPECT_EQ(Count(range, u"{2}"), 1u);
        const std::u16string& lack = table.at(kTextLackNumberFormat.key);
        EXPECT_EQ(Count(lack, u"%"), 1u);
        EXPECT_EQ(Count(lack, u"%d"), 1u);
        for (const auto& [key, text] : table) EXPECT_FALSE(text.empty()) << key.size();
    }
}

}  // namespace
}  // namespace mossvane
