// What the Windows dialog gives screen readers, the taskbar and the heap
// besides its texts: the number box's accessible name, the program's icon,
// and no digits left in the number box once the dialog has ended.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "dialog_driver.h"
#include "platform/win32/windows_include.h"
#include "ui/dialog_constants.h"
#include "ui/phone_number_dialog.h"

namespace mossvane {
namespace {

constexpr auto kDeadline = std::chrono::seconds(30);
const std::u16string kCaption = u"Personal Identification Number";

class DialogWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::DialogDriver::DisplayAvailable()) GTEST_SKIP() << "no display";
        m_result = std::async(std::launch::async, [this] { return m_dialog.DoModal(nullptr); });
        ASSERT_TRUE(m_driver.WaitForWindow(kCaption)) << "the dialog did not show";
        m_window = FindWindowW(L"#32770", reinterpret_cast<const wchar_t*>(kCaption.c_str()));
        ASSERT_NE(m_window, nullptr);
    }

    void TearDown() override {
        if (m_result.valid() &&
            m_result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            m_driver.PressCancel();
            m_result.wait_for(kDeadline);
        }
    }

    HWND Item(int id) const { return GetDlgItem(m_window, id); }

    CPhoneNumberDlg2 m_dialog{nullptr};
    test::DialogDriver m_driver;
    std::future<std::int32_t> m_result;
    HWND m_window = nullptr;
};

// Screen readers name an edit control by the static text right before it in
// the z-order (the order the dialog's controls are walked in).
TEST_F(DialogWindowTest, NumberBoxIsNamedByTheRangeLabel) {
    const HWND box = Item(kNumberBoxId);
    EXPECT_EQ(GetWindow(box, GW_HWNDPREV), Item(kRangeLabelId));
    // ... and the number box is still where the focus starts.
    EXPECT_EQ(GetNextDlgTabItem(m_window, nullptr, FALSE), box);
}

TEST_F(DialogWindowTest, ShowsTheProgramIcon) {
    EXPECT_NE(SendMessageW(m_window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(m_window, WM_GETICON, ICON_SMALL, 0), 0);
}

// The number box's own text when it is destroyed, seen from a subclass.
std::wstring g_textAtDestroy;
WNDPROC g_boxProcedure = nullptr;

LRESULT CALLBACK WatchDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        wchar_t text[64] = {};
        GetWindowTextW(window, text, 64);
        g_textAtDestroy = text;
    }
    return CallWindowProcW(g_boxProcedure, window, message, wParam, lParam);
}

class NumberBoxWipeTest : public DialogWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(NumberBoxWipeTest, NoDigitsAreLeftWhenTheDialogEnds) {
    const HWND box = Item(kNumberBoxId);
    g_textAtDestroy = L"not destroyed";
    g_boxProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WatchDestroy)));
    ASSERT_NE(g_boxProcedure, nullptr);
    ASSERT_TRUE(m_driver.EnterNumber(u"4711"));
    ASSERT_TRUE(GetParam() == kEndCodeOk ? m_driver.PressOk() : m_driver.PressCancel());
    ASSERT_EQ(m_result.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(m_result.get(), GetParam());
    EXPECT_EQ(g_textAtDestroy, L"");
}

INSTANTIATE_TEST_SUITE_P(EndCodes, NumberBoxWipeTest, ::testing::Values(kEndCodeOk, kEndCodeCancel),
                         [](const auto& info) {
                             return std::string(info.param == kEndCodeOk ? "Ok" : "Cancel");
                         });

}  // namespace
}  // namespace mossvane
