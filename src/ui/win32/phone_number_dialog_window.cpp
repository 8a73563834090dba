#include "ui/win32/phone_number_dialog_window.h"

#include <array>
#include <string>

#include "l10n/text_keys.h"
#include "platform/wipe.h"
#include "ui/dialog_constants.h"
#include "ui/dialog_texts.h"
#include "ui/number_input.h"
#include "ui/win32/companion_driver.h"
#include "ui/win32/foreground.h"

namespace mossvane {
namespace {

using platform::win32::Wide;

constexpr UINT_PTR kCloseCheckTimerId = 1;

void SetText(HWND window, const std::u16string& text) {
    SetWindowTextW(window, Wide(text.c_str()));
}

void SetItemText(HWND dialog, int id, const std::u16string& text) {
    SetText(GetDlgItem(dialog, id), text);
}

// The number box's text, read the way the filter sees it: at most
// kNumberBoxBufferChars - 1 characters.
std::u16string ReadBoxForFilter(HWND box) {
    std::array<char16_t, kNumberBoxBufferChars> buffer{};
    const int length = GetWindowTextW(box, Wide(buffer.data()), static_cast<int>(buffer.size()));
    std::u16string text(buffer.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
    platform::WipeBytes(buffer.data(), sizeof buffer);
    return text;
}

}  // namespace

BOOL PhoneNumberDialogWindow::ProcessWindowMessage(HWND /*window*/, UINT message, WPARAM wParam,
                                                   LPARAM /*lParam*/, LRESULT& result,
                                                   DWORD mapId) {
    if (mapId != 0) return FALSE;
    if (message == WM_INITDIALOG) {
        return RunHandler([&] { result = OnInitDialog(reinterpret_cast<HWND>(wParam)); });
    }
    if (message == WM_TIMER && wParam == kCloseCheckTimerId) {
        result = 0;
        return RunHandler([&] { OnCloseCheck(); });
    }
    if (message != WM_COMMAND) return FALSE;
    const int id = LOWORD(wParam);
    const UINT notification = HIWORD(wParam);
    result = 0;
    if (notification == EN_CHANGE && id == kNumberBoxId) {
        return RunHandler([&] { OnNumberChange(id); });
    }
    if (id == IDOK) return RunHandler([&] { OnOK(id); });
    if (id == IDCANCEL) return RunHandler([&] { OnCancel(); });
    return FALSE;
}

LRESULT PhoneNumberDialogWindow::OnInitDialog(HWND focus) {
    SetWindowIcons(kProgramIconId);
    CenterDialog(m_hWnd);
    BringToForeground(focus, m_hWnd);
    KeepNumberBoxAfterItsLabel();
    UnpinCompanionDriver();
    SetLocalizedTexts();
    if (m_dialog.HasCloseCondition()) {
        SetTimer(m_hWnd, kCloseCheckTimerId, kCloseCheckMilliseconds, nullptr);
    }
    // TRUE: the system gives the focus to the number box, the first tab stop.
    return TRUE;
}

void PhoneNumberDialogWindow::KeepNumberBoxAfterItsLabel() {
    // Bringing the number box to the foreground raised it above every other
    // control; right below the label again, screen readers take the label as
    // its name, and the tab order is the same as before.
    SetWindowPos(GetDlgItem(m_hWnd, kNumberBoxId), GetDlgItem(m_hWnd, kRangeLabelId), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void PhoneNumberDialogWindow::SetLocalizedTexts() {
    SetText(m_hWnd, DialogCaption(m_dialog));
    SendDlgItemMessageW(m_hWnd, kNumberBoxId, EM_LIMITTEXT, kMaxNumberDigits, 0);
    SetItemText(m_hWnd, kRangeLabelId, RangeLabel(m_dialog));
    SetItemText(m_hWnd, IDOK, m_dialog.GetLocalizedString(kTextOkButton));
    SetItemText(m_hWnd, IDCANCEL, m_dialog.GetLocalizedString(kTextCancelButton));
}

void PhoneNumberDialogWindow::OnNumberChange(int controlId) {
    const HWND box = GetDlgItem(m_hWnd, controlId);
    std::u16string text = ReadBoxForFilter(box);
    if (text.empty() || !FilterDigits(text)) {
        platform::WipeText(text);
        return;
    }
    // Setting the text reports another change; that pass finds nothing left
    // to remove.
    SetText(box, text);
    platform::WipeText(text);
    const int length = GetWindowTextLengthW(box);
    SendMessageW(box, EM_SETSEL, length, length);
    SendMessageW(box, EM_SCROLLCARET, 0, 0);
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

void PhoneNumberDialogWindow::ReadNumberBox() {
    const HWND box = GetDlgItem(m_hWnd, kNumberBoxId);
    const int announced = GetWindowTextLengthW(box);
    std::u16string buffer(static_cast<std::size_t>(announced > 0 ? announced : 0) + 1, u'\0');
    const int read = GetWindowTextW(box, Wide(buffer.data()), static_cast<int>(buffer.size()));
    platform::WipeText(m_dialog.m_strNumber);
    m_dialog.m_strNumber.assign(buffer.data(), read > 0 ? static_cast<std::size_t>(read) : 0);
    platform::WipeText(buffer);
    if (read < announced) {
        MessageBeep(0xFFFFFFFF);
        SetFocus(box);
    }
}

void PhoneNumberDialogWindow::OnOK(int commandId) {
    ReadNumberBox();
    const NumberCheck check = CheckNumber(m_dialog.m_strNumber);
    if (check == NumberCheck::Accepted) {
        WipeNumberBox();
        EndDialog(m_hWnd, commandId);
        return;
    }
    // What was typed is no number the program hands out: don't keep it.
    platform::WipeText(m_dialog.m_strNumber);
    const MessageTexts message = RejectionMessage(check, m_dialog);
    MessageBoxW(m_hWnd, Wide(message.text.c_str()), Wide(message.caption.c_str()), MB_OK);
}

void PhoneNumberDialogWindow::OnCancel() {
    WipeNumberBox();
    EndDialog(m_hWnd, kEndCodeCancel);
}

namespace {

// A message box of the dialog's (they run on its thread) goes the way the
// user's Escape sends it.
BOOL CALLBACK CancelOwnedWindow(HWND window, LPARAM owner) {
    if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner)) {
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

}  // namespace

void PhoneNumberDialogWindow::OnCloseCheck() {
    if (!m_dialog.IsToClose()) return;
    KillTimer(m_hWnd, kCloseCheckTimerId);
    EnumThreadWindows(GetCurrentThreadId(), CancelOwnedWindow, reinterpret_cast<LPARAM>(m_hWnd));
    PostMessageW(m_hWnd, WM_COMMAND, IDCANCEL, 0);
}

void PhoneNumberDialogWindow::WipeNumberBox() {
    const HWND box = GetDlgItem(m_hWnd, kNumberBoxId);
    const int length = GetWindowTextLengthW(box);
    // A text of the same length goes into the control's own buffer over the
    // digits; an empty text alone would only shorten it. The filler is a
    // digit, so the filter has nothing to change.
    if (length > 0) {
        const std::u16string filler(static_cast<std::size_t>(length), u'0');
        SetText(box, filler);
    }
    SetText(box, u"");
    SendMessageW(box, EM_EMPTYUNDOBUFFER, 0, 0);
}

}  // namespace mossvane
