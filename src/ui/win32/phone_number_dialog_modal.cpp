// The dialog on Windows: template 133 of the program's own resources.
#include "ui/phone_number_dialog.h"
#include "ui/win32/phone_number_dialog_window.h"

namespace mossvane {

std::int32_t CPhoneNumberDlg2::DoModal(platform::WindowHandle owner) {
    PhoneNumberDialogWindow window(*this);
    return window.DoModal(static_cast<HWND>(owner), m_nDialogID);
}

}  // namespace mossvane
