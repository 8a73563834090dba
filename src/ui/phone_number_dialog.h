// The modal dialog that asks the user for the personal identification number.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "l10n/localize_consumer.h"
#include "platform/window.h"

namespace mossvane {

class CPhoneNumberDlg2 : public LocalizeConsumer {
  public:
    // Texts from the program's localizer (GetLocalizer).
    CPhoneNumberDlg2();
    // Texts from `provider`, which must outlive the dialog; null for the
    // built-in English texts.
    explicit CPhoneNumberDlg2(ILocalizeProvider* provider);
    // Wipes the number, in case the caller did not.
    ~CPhoneNumberDlg2();
    CPhoneNumberDlg2(const CPhoneNumberDlg2&) = delete;
    CPhoneNumberDlg2& operator=(const CPhoneNumberDlg2&) = delete;

    // Shows the dialog modally, owned by `owner` (may be none), and returns
    // kEndCodeOk (1) when the user confirmed a valid number, kEndCodeCancel
    // (2) when the user cancelled or closed it or it was closed (CloseWhen),
    // kEndCodeNotShown (-1) when it could not be shown.
    std::int32_t DoModal(platform::WindowHandle owner);

    // Closes the shown dialog, and any message box of it, as cancelled once
    // `condition` holds; asked every kCloseCheckMilliseconds on the dialog's
    // thread. Set before DoModal.
    void CloseWhen(std::function<bool()> condition) { m_closeWhen = std::move(condition); }
    bool HasCloseCondition() const { return static_cast<bool>(m_closeWhen); }
    bool IsToClose() const { return m_closeWhen && m_closeWhen(); }

    // The template DoModal shows.
    std::int32_t m_nDialogID;
    // The 4 to 20 digits entered, after DoModal returned 1. Holders should
    // wipe it (WipeText) once it has been passed on.
    std::u16string m_strNumber;

  private:
    std::function<bool()> m_closeWhen;
};

}  // namespace mossvane
