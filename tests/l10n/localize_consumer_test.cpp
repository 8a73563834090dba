#include "l10n/localize_consumer.h"

#include <gtest/gtest.h>

#include <string>

#include "support/table_provider.h"

namespace mossvane {
namespace {

// Every test asks for "PI/OK", which the table holds in Korean.
test::TableProvider KoreanOkProvider() {
    return test::TableProvider(test::TableProvider::Table{{u"PI/OK", u"\uD655\uC778"}});
}

TEST(LocalizeConsumerTest, AskTheProviderWhenThereIsOne) {
    test::TableProvider provider = KoreanOkProvider();
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
    test::TableProvider provider = KoreanOkProvider();
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
