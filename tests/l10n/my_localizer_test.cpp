#include "l10n/my_localizer.h"

#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

#include "l10n/localize_consumer.h"
#include "l10n/text_keys.h"
#include "localizer_fixture.h"
#include "platform/shared_library.h"
#include "platform/system_info.h"

namespace mossvane::test {
namespace {

using MyLocalizerTest = LocalizerFixture;

TEST_F(MyLocalizerTest, LooksForItsFilesBesideTheProgram) {
    WriteCountryCode(u"EN");
    const MyLocalizer localizer;
    const std::u16string folder = platform::ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(localizer.GetTextFilePath(u"KR"), folder + u"localization.xml");
    EXPECT_EQ(localizer.GetTextFilePath(u""), folder + u"localization.xml");
    EXPECT_EQ(localizer.GetLanguageLibraryPath(),
              folder + u"lotrasx" + std::u16string(platform::SharedLibrarySuffix()));
}

TEST_F(MyLocalizerTest, ShippedFileGivesKoreanTextsForCountryCodeKr) {
    WriteCountryCode(u"KR");
    MyLocalizer localizer;
    EXPECT_EQ(localizer.GetLanguage(), u"kr");
    const LocalizeConsumer consumer(&localizer);
    EXPECT_EQ(consumer.GetLocalizedString(kTextOkButton), kKoreanOk);
    EXPECT_EQ(consumer.GetLocalizedString(kTextCancelButton), kKoreanCancel);
    EXPECT_EQ(consumer.GetLocalizedString(kTextWarningCaption), kTextWarningCaption.defaultText);
}

// Exposes the provider a default-constructed consumer picked up.
class ProviderProbe : public LocalizeConsumer {
  public:
    ILocalizeProvider* Provider() const { return m_pProvider; }
};

TEST_F(MyLocalizerTest, ThreadsCreatingTheLocalizerTogetherShareOne) {
    WriteCountryCode(u"EN");
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<ILocalizeProvider*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            seen[t] = GetLocalizer();
        });
    }
    for (std::thread& thread : threads) thread.join();
    ASSERT_NE(seen[0], nullptr);
    EXPECT_EQ(seen, std::vector<ILocalizeProvider*>(kThreads, seen[0]));
    EXPECT_EQ(GetLocalizer(), seen[0]);
    EXPECT_EQ(ProviderProbe().Provider(), seen[0]);
}

}  // namespace
}  // namespace mossvane::test
