// The companion dialog on Windows: a dialog of the standard class "#32770"
// built from an in-memory template on a thread of the test that runs its
// message loop, beside a second dialog that takes the foreground first.
#include <thread>

#include "companion_window.h"
#include "platform/utf8.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/windows_include.h"
#include "server_harness.h"

namespace mossvane::testing {

namespace {

INT_PTR CALLBACK DialogProcedure(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// A template without controls: the header, then no menu, the standard
// class and an empty title (set afterwards), all DWORD-aligned.
HWND CreateEmptyDialog(const std::wstring& title, int x) {
    alignas(DWORD) WORD buffer[32] = {};
    auto* header = reinterpret_cast<DLGTEMPLATE*>(buffer);
    header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    header->x = static_cast<short>(x);
    header->y = 10;
    header->cx = 120;
    header->cy = 40;
    HWND dialog =
        CreateDialogIndirectParamW(GetModuleHandleW(nullptr), header, nullptr, DialogProcedure, 0);
    if (dialog != nullptr) SetWindowTextW(dialog, title.c_str());
    return dialog;
}

class DialogCompanion : public CompanionWindow {
  public:
    explicit DialogCompanion(const std::wstring& title)
        : m_ready(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_thread([this, title] { Run(title); }) {
        WaitForSingleObject(m_ready.Get(), 30000);
    }

    ~DialogCompanion() override {
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        m_thread.join();
    }

    bool Shown() const { return m_dialog != nullptr && m_other != nullptr; }

    bool IsForeground() const override { return GetForegroundWindow() == m_dialog; }

  private:
    void Run(const std::wstring& title) {
        m_threadId = GetCurrentThreadId();
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
        m_dialog = CreateEmptyDialog(title, 10);
        m_other = CreateEmptyDialog(L"Mossvane test bystander", 200);
        if (m_other != nullptr) SetForegroundWindow(m_other);
        SetEvent(m_ready.Get());
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageW(message.hwnd, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        if (m_other != nullptr) DestroyWindow(m_other);
        if (m_dialog != nullptr) DestroyWindow(m_dialog);
    }

    platform::win32::UniqueHandle m_ready;
    DWORD m_threadId = 0;
    HWND m_dialog = nullptr;
    HWND m_other = nullptr;
    std::thread m_thread;
};

}  // namespace

std::unique_ptr<CompanionWindow> CompanionWindow::Open(const std::string& title) {
    const std::u16string wide = platform::Utf8ToUtf16(title);
    auto companion = std::make_unique<DialogCompanion>(std::wstring(wide.begin(), wide.end()));
    if (!companion->Shown()) return nullptr;
    if (!WaitUntil([&] { return !companion->IsForeground(); }, kStartTimeout)) return nullptr;
    return companion;
}

}  // namespace mossvane::testing
