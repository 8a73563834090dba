// A system-modal message box of the window system.
#include "ui/message_box.h"

#include <string>

#include "platform/win32/windows_include.h"

namespace mossvane {

std::int32_t ShowSystemModalMessageBox(std::u16string_view caption, std::u16string_view text) {
    const std::wstring wideCaption = platform::win32::WideString(caption);
    const std::wstring wideText = platform::win32::WideString(text);
    return MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(),
                       MB_OK | MB_SYSTEMMODAL | MB_TOPMOST);
}

}  // namespace mossvane
