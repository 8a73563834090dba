#include "log/debug_print.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "support/debug_capture.h"

namespace mossvane {
namespace {

class DebugPrintTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(m_capture.IsListening()); }

    std::vector<std::string> TextsContaining(std::string_view needle) {
        EXPECT_TRUE(m_capture.Sync());
        std::vector<std::string> texts = m_capture.Texts();
        std::erase_if(
            texts, [&](const std::string& text) { return text.find(needle) == std::string::npos; });
        return texts;
    }

    test::DebugCapture m_capture;
};

TEST_F(DebugPrintTest, SendsTheFormattedTextAsOneUnit) {
    DebugPrint(u"[PI] ConfirmServerTerminate Enter(CallCount : %d)\n", 3);
    EXPECT_EQ(TextsContaining("ConfirmServerTerminate"),
              std::vector<std::string>{"[PI] ConfirmServerTerminate Enter(CallCount : 3)\n"});
}

TEST_F(DebugPrintTest, TextsWithEmbeddedLineFeedsStayWhole) {
    DebugPrint(u"[PI] answer %s", u"[Result]\nRETURN=CANCEL\n");
    EXPECT_EQ(TextsContaining("[PI] answer"),
              std::vector<std::string>{"[PI] answer [Result]\nRETURN=CANCEL\n"});
}

TEST_F(DebugPrintTest, SendsNothingWhenTheFormatCannotBeFilled) {
    DebugPrint(u"[PI] broken %d %d\n", 1);
    DebugPrint(u"[PI] broken %s\n", 2);
    DebugPrint(u"[PI] broken %n\n", 3);
    EXPECT_TRUE(TextsContaining("[PI] broken").empty());
}

TEST_F(DebugPrintTest, TextsOfManyThreadsArriveWhole) {
    constexpr int kThreads = 4;
    constexpr int kTexts = 50;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([thread] {
            for (int text = 0; text < kTexts; ++text) {
                DebugPrint(u"[PI] thread %d text %.3d %s\n", thread, text,
                           std::u16string(200, u'z'));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    const std::vector<std::string> texts = TextsContaining("[PI] thread ");
    ASSERT_EQ(texts.size(), static_cast<std::size_t>(kThreads * kTexts));
    for (const std::string& text : texts) {
        EXPECT_EQ(text.size(), std::string("[PI] thread 0 text 000 \n").size() + 200) << text;
    }
}

}  // namespace
}  // namespace mossvane
