// The channel to the dialog helper and the helper's message mode.
#include "ui/posix/dialog_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <optional>
#include <string>

#include "dialog_driver.h"
#include "ui/dialog_constants.h"
#include "ui/message_box.h"
#include "ui/phone_number_dialog.h"

namespace mossvane {
namespace {

using dialog_helper::DecodeRecords;
using dialog_helper::EncodeRecords;

TEST(DialogChannelTest, RecordsRoundTripIncludingEmptyAndNonAscii) {
    const std::vector<std::u16string> records{u"", u"\uD655\uC778", u"a\nb",
                                              std::u16string(300, u'x')};
    std::vector<std::u16string> decoded;
    ASSERT_TRUE(DecodeRecords(EncodeRecords(records), decoded));
    EXPECT_EQ(decoded, records);
}

TEST(DialogChannelTest, TruncatedOrOversizedRecordsAreRefused) {
    const std::string bytes = EncodeRecords({u"1234"});
    std::vector<std::u16string> decoded;
    EXPECT_FALSE(DecodeRecords(bytes.substr(0, bytes.size() - 1), decoded));
    EXPECT_FALSE(DecodeRecords(bytes.substr(0, 2), decoded));
    EXPECT_FALSE(DecodeRecords(std::string("\xff\xff\xff\x7f", 4), decoded));
}

// Puts an environment variable aside for the test and back afterwards.
class SavedVariable {
  public:
    explicit SavedVariable(const char* name) : m_name(name) {
        if (const char* value = std::getenv(name)) m_value = value;
        unsetenv(name);
    }
    ~SavedVariable() {
        if (m_value) setenv(m_name, m_value->c_str(), 1);
    }

  private:
    const char* m_name;
    std::optional<std::string> m_value;
};

TEST(DialogWithoutDisplayTest, NothingIsShownAndNothingWaits) {
    SavedVariable display("DISPLAY");
    SavedVariable wayland("WAYLAND_DISPLAY");
    CPhoneNumberDlg2 dialog(nullptr);
    EXPECT_EQ(dialog.DoModal(nullptr), kEndCodeNotShown);
    EXPECT_TRUE(dialog.m_strNumber.empty());
    EXPECT_EQ(ShowSystemModalMessageBox(u"Caption", u"Text"), 0);
}

TEST(SystemModalMessageBoxTest, ShowsTheCaptionAndReturnsOk) {
    if (!test::DialogDriver::DisplayAvailable()) GTEST_SKIP() << "no display";
    const std::u16string caption = u"Mossvane message box test";
    auto result = std::async(std::launch::async, [&] {
        return ShowSystemModalMessageBox(caption, u"100% %s %d \\r\\n");
    });
    test::DialogDriver driver;
    ASSERT_TRUE(driver.WaitForWindow(caption));
    ASSERT_TRUE(driver.ConfirmMessageBox(caption));
    ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(result.get(), 1);
}

}  // namespace
}  // namespace mossvane
