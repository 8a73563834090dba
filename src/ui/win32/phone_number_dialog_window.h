// The window side of CPhoneNumberDlg2 on Windows: the message map and its
// handlers for dialog template 133.
#pragma once

#include "ui/phone_number_dialog.h"
#include "ui/win32/dialog_impl.h"

namespace mossvane {

class PhoneNumberDialogWindow : public DialogImpl {
  public:
    // `dialog` gives the texts and receives the number; it outlives this.
    explicit PhoneNumberDialogWindow(CPhoneNumberDlg2& dialog) : m_dialog(dialog) {}

  protected:
    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result, DWORD mapId) override;

  private:
    LRESULT OnInitDialog(HWND focus);
    void OnNumberChange(int controlId);
    void OnOK(int commandId);
    void OnCancel();
    // The timer's tick: closes the dialog, and a message box it shows, once
    // the dialog's close condition holds.
    void OnCloseCheck();

    void KeepNumberBoxAfterItsLabel();
    void SetLocalizedTexts();
    // The number box's text into m_strNumber, as dialog data exchange reads
    // it: the length first, then the text.
    void ReadNumberBox();
    // Overwrites the number box's text and empties it (undo buffer too), so
    // no digits stay in the control's memory once the dialog has ended.
    void WipeNumberBox();

    CPhoneNumberDlg2& m_dialog;
};

}  // namespace mossvane
