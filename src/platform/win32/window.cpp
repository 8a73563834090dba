// Windows: the calling thread's active window and a system-modal message box.
#include "platform/window.h"

#include "platform/win32/windows_include.h"

namespace mossvane::platform {

WindowHandle ActiveWindowOfCallingThread() {
    return GetActiveWindow();
}

std::int32_t ShowSystemModalMessageBox(std::u16string_view caption, std::u16string_view text) {
    const std::wstring wideCaption = win32::WideString(caption);
    const std::wstring wideText = win32::WideString(text);
    return MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(),
                       MB_OK | MB_SYSTEMMODAL | MB_TOPMOST);
}

}  // namespace mossvane::platform
