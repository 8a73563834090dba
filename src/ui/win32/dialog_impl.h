// A small modal dialog base: shows a template of the program's own module
// and routes the dialog's messages to the derived class's message map.
#pragma once

#include <cstdint>

#include "platform/win32/windows_include.h"

namespace mossvane {

class DialogImpl {
  public:
    virtual ~DialogImpl() = default;

    // Shows template `templateId` modal to `owner` (may be null) and returns
    // the code given to EndDialog, or -1 when the dialog can't be created.
    std::int32_t DoModal(HWND owner, std::int32_t templateId);

  protected:
    DialogImpl() = default;
    DialogImpl(const DialogImpl&) = delete;
    DialogImpl& operator=(const DialogImpl&) = delete;

    // The message map. Returns TRUE when the message was handled, with the
    // message's result in `result`.
    virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result, DWORD mapId) = 0;

    // Runs one handler with the message-handled flag set to TRUE; returns
    // whether the handler left it so, and restores the flag's earlier value.
    template <typename Handler>
    BOOL RunHandler(Handler&& handler) {
        const BOOL previous = m_bMsgHandled;
        m_bMsgHandled = TRUE;
        handler();
        const BOOL handled = m_bMsgHandled;
        m_bMsgHandled = previous;
        return handled;
    }

    // Gives the dialog icon `iconId` of the module the template comes from,
    // in the sizes the caption (small) and the task switcher (big) use.
    void SetWindowIcons(int iconId);

    HWND m_hWnd = nullptr;
    // Cleared by a handler that wants the default handling after all.
    BOOL m_bMsgHandled = FALSE;

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace mossvane
