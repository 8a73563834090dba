// The identification-number dialog on screen, driven like a user would: on
// Linux the helper's GTK window through xdotool, on Windows the template's
// dialog through window messages.
#include "ui/phone_number_dialog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "dialog_driver.h"
#include "ui/dialog_constants.h"

namespace mossvane {
namespace {

constexpr auto kDeadline = std::chrono::seconds(30);
const std::u16string kCaption = u"Personal Identification Number";

class PhoneNumberDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::DialogDriver::DisplayAvailable()) GTEST_SKIP() << "no display";
    }

    void TearDown() override {
        // A failed test may leave the dialog open; cancel it so the thread
        // that shows it can end.
        if (m_result.valid() && !IsFinished()) m_driver.PressCancel();
    }

    // Shows the dialog on a thread of its own, as a connection thread does,
    // and waits until it is on screen.
    void Show() {
        m_result = std::async(std::launch::async, [this] { return m_dialog.DoModal(nullptr); });
        ASSERT_TRUE(m_driver.WaitForWindow(kCaption)) << "the dialog did not show";
    }

    bool IsFinished() {
        return m_result.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }

    // DoModal's end code, or 0 when it did not return in time.
    std::int32_t EndCode() {
        if (m_result.wait_for(kDeadline) != std::future_status::ready) return 0;
        return m_result.get();
    }

    // Waits for the text of the number box where the platform can read it;
    // true where it can't.
    bool NumberBoxShows(const std::u16string& expected) {
        const auto deadline = std::chrono::steady_clock::now() + kDeadline;
        for (;;) {
            const std::optional<std::u16string> text = m_driver.ControlText(kNumberBoxId);
            if (!text || *text == expected) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    // OK with `digits` shows the message box titled `caption` and leaves the
    // dialog open; confirming the box returns to the dialog.
    void ExpectRejectedWith(const std::u16string& digits, const std::u16string& caption) {
        if (!digits.empty()) {
            ASSERT_TRUE(m_driver.EnterNumber(digits));
        }
        ASSERT_TRUE(NumberBoxShows(digits));
        ASSERT_TRUE(m_driver.PressOk());
        test::DialogDriver box;
        ASSERT_TRUE(box.WaitForWindow(caption)) << "no message box";
        EXPECT_FALSE(IsFinished());
        ASSERT_TRUE(m_driver.ConfirmMessageBox(caption));
        EXPECT_FALSE(IsFinished());
        EXPECT_TRUE(m_driver.IsShown(kCaption));
        ASSERT_TRUE(m_driver.PressCancel());
        EXPECT_EQ(EndCode(), kEndCodeCancel);
        EXPECT_TRUE(m_dialog.m_strNumber.empty());
    }

    CPhoneNumberDlg2 m_dialog{nullptr};
    test::DialogDriver m_driver;
    std::future<std::int32_t> m_result;
};

TEST_F(PhoneNumberDialogTest, MixedInputIsFilteredAndConfirmed) {
    Show();
    ASSERT_TRUE(m_driver.EnterNumber(u"12a-3 4"));
    EXPECT_TRUE(NumberBoxShows(u"1234"));
    ASSERT_TRUE(m_driver.PressOk());
    EXPECT_EQ(EndCode(), kEndCodeOk);
    EXPECT_EQ(m_dialog.m_strNumber, u"1234");
}

TEST_F(PhoneNumberDialogTest, LeadingZeroStaysInTheNumber) {
    Show();
    ASSERT_TRUE(m_driver.EnterNumber(u"0042"));
    ASSERT_TRUE(m_driver.PressOk());
    EXPECT_EQ(EndCode(), kEndCodeOk);
    EXPECT_EQ(m_dialog.m_strNumber, u"0042");
}

TEST_F(PhoneNumberDialogTest, CancelEndsWithTwoAndKeepsNoNumber) {
    Show();
    ASSERT_TRUE(m_driver.EnterNumber(u"5678"));
    ASSERT_TRUE(m_driver.PressCancel());
    EXPECT_EQ(EndCode(), kEndCodeCancel);
    EXPECT_TRUE(m_dialog.m_strNumber.empty());
}

TEST_F(PhoneNumberDialogTest, ThreeDigitsShowLackNumberAndKeepTheDialogOpen) {
    Show();
    ExpectRejectedWith(u"123", u"Lack Number");
}

TEST_F(PhoneNumberDialogTest, EmptyNumberShowsEmptyNumberAndKeepsTheDialogOpen) {
    Show();
    ExpectRejectedWith(u"", u"Empty Number");
}

// Back from either message box, typing goes on after the digits already in
// the box: nothing is selected, so nothing typed replaces them.
struct TypingCase {
    const char* name;
    std::u16string first;
    std::u16string rejectedWith;
    std::u16string more;
    std::u16string expected;
};

void PrintTo(const TypingCase& c, std::ostream* out) {
    *out << c.name;
}

class TypingAfterMessageTest : public PhoneNumberDialogTest,
                               public ::testing::WithParamInterface<TypingCase> {};

TEST_P(TypingAfterMessageTest, AppendsToWhatWasTyped) {
    const TypingCase& c = GetParam();
    Show();
    if (!c.first.empty()) {
        ASSERT_TRUE(m_driver.TypeKeys(c.first));
    }
    ASSERT_TRUE(m_driver.PressEnterIn(kCaption));
    test::DialogDriver box;
    ASSERT_TRUE(box.WaitForWindow(c.rejectedWith)) << "no message box";
    ASSERT_TRUE(box.PressEnterIn(c.rejectedWith));
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (box.IsShown(c.rejectedWith) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(box.IsShown(c.rejectedWith));
    ASSERT_TRUE(m_driver.TypeKeys(c.more));
    EXPECT_TRUE(NumberBoxShows(c.expected));
    ASSERT_TRUE(m_driver.PressEnterIn(kCaption));
    EXPECT_EQ(EndCode(), kEndCodeOk);
    EXPECT_EQ(m_dialog.m_strNumber, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keyboard, TypingAfterMessageTest,
    ::testing::Values(TypingCase{"LackNumber", u"123", u"Lack Number", u"4", u"1234"},
                      TypingCase{"EmptyNumber", u"", u"Empty Number", u"5678", u"5678"}),
    [](const auto& info) { return std::string(info.param.name); });

// The box's limit counts UTF-16 units, as the filter does: a character that
// would make the text longer is refused instead of the filter clearing all.
TEST_F(PhoneNumberDialogTest, CharacterBeyondTheLimitIsRefusedAndTheDigitsStay) {
    Show();
    const std::u16string digits = u"1234567890123456789";
    ASSERT_TRUE(m_driver.TypeKeys(digits + u"\U0001F600"));
    EXPECT_TRUE(NumberBoxShows(digits));
    ASSERT_TRUE(m_driver.PressEnterIn(kCaption));
    EXPECT_EQ(EndCode(), kEndCodeOk);
    EXPECT_EQ(m_dialog.m_strNumber, digits);
}

// What the template and the initialisation put on screen; only Windows lets
// a test read control texts.
TEST_F(PhoneNumberDialogTest, ShowsTheLocalizedTexts) {
    Show();
    if (!m_driver.ControlText(kRangeLabelId)) GTEST_SKIP() << "control texts are not readable";
    EXPECT_EQ(m_driver.ControlText(0), kCaption);
    EXPECT_EQ(m_driver.ControlText(kRangeLabelId), u"(4 - 20 Digit)");
    EXPECT_EQ(m_driver.ControlText(1), u"OK");
    EXPECT_EQ(m_driver.ControlText(2), u"Cancel");
    ASSERT_TRUE(m_driver.EnterNumber(u"123456789012345678901"));  // one too many
    EXPECT_TRUE(NumberBoxShows(u""));
}

}  // namespace
}  // namespace mossvane
