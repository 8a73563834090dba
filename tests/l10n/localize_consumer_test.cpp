#include "l10n/localize_consumer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace mossvane {
namespace {

// A provider with a fixed table that records what it was asked.
class TableProvider : public ILocalizeProvider {
  public:
    bool Translate(std::u16string_view key, std::u16string& text,
                   const char16_t* defaultText) override {
        ++m_calls;
        const auto found = m_table.find(std::u16string(key));
        if (found != m_table.end()) {
            text = found->second;
            return true;
        }
        if (defaultText != nullptr) text = defaultText;
        return false;
    }
    std::u16string GetLanguage() const override { return u"kr"; }
    bool IsRightToLeft() const override { return false; }
    bool SetLanguage(const char16_t* /*code*/) override { return false; }

    int Calls() const { return m_calls; }

  private:
    std::map<std::u16string, std::u16string> m_table{{u"PI/OK", u"\uD655\uC778"}};
    int m_calls = 0;
};

TEST(LocalizeConsumerTest, AskTheProviderWhenThereIsOne) {
    TableProvider provider;
    const LocalizeConsumer consumer(&provider);
    std::u16string text = u"stale";
    EXPECT_TRUE(consumer.GetLocalizedText(u"PI/OK", text, u"OK"));
    EXPECT_EQ(text, u"\uD655\uC778");
    EXPECT_FALSE(consumer.GetLocalizedText(u"PI/Cancel", text, u"Cancel"));
    EXPECT_EQ(text, u"Cancel");
    EXPECT_EQ(consumer.GetLocalizedString(kTextOkButton), u"\uD655\uC778");
    EXPECT_EQ(consumer.GetLocalizedString(kTextCancelButton), u"Cancel");
    EXPECT_EQ(provider.Calls(), 4);
}

TEST(LocalizeConsumerTest, WithoutAProviderGivesTheDefaultText) {
    const LocalizeConsumer consumer(nullptr);
    std::u16string text = u"stale";
    EXPECT_FALSE(consumer.GetLocalizedText(u"PI/OK", text, u"OK"));
    EXPECT_EQ(text, u"OK");
    EXPECT_EQ(consumer.GetLocalizedString(u"PI/OK", u"OK"), u"OK");
    EXPECT_EQ(consumer.GetLocalizedString(kTextWarningCaption), u"\uACBD\uACE0");
}

TEST(LocalizeConsumerTest, WithoutADefaultTheTextIsLeftAloneOrEmpty) {
    TableProvider provider;
    for (ILocalizeProvider* candidate :
         {static_cast<ILocalizeProvider*>(&provider), static_cast<ILocalizeProvider*>(nullptr)}) {
        const LocalizeConsumer consumer(candidate);
        std::u16string text = u"stale";
        EXPECT_FALSE(consumer.GetLocalizedText(u"PI/Missing", text, nullptr));
        EXPECT_EQ(text, u"stale");
        EXPECT_EQ(consumer.GetLocalizedString(u"PI/Missing", nullptr), u"");
    }
}

}  // namespace
}  // namespace mossvane
