// Companion windows on Windows: FindWindowW with the standard dialog class
// and SetForegroundWindow.
#include "platform/companion_window.h"

#include "platform/win32/windows_include.h"

namespace mossvane::platform {

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";

}  // namespace

ForegroundResult BringDialogToForeground(std::u16string_view title) {
    HWND window = FindWindowW(kDialogClass, win32::WideString(title).c_str());
    if (window == nullptr) return ForegroundResult::NotFound;
    return SetForegroundWindow(window) ? ForegroundResult::Brought : ForegroundResult::Refused;
}

}  // namespace mossvane::platform
