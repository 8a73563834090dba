#include "ui/phone_number_dialog.h"

#include "platform/wipe.h"
#include "ui/dialog_constants.h"

namespace mossvane {

CPhoneNumberDlg2::CPhoneNumberDlg2() : m_nDialogID(kPhoneNumberDialogId) {}

CPhoneNumberDlg2::CPhoneNumberDlg2(ILocalizeProvider* provider)
    : LocalizeConsumer(provider), m_nDialogID(kPhoneNumberDialogId) {}

CPhoneNumberDlg2::~CPhoneNumberDlg2() {
    platform::WipeText(m_strNumber);
}

}  // namespace mossvane
