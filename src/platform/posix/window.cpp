// Stands in for the Windows message box: the dialog helper program shows it
// in its message mode. There are no per-thread windows here.
#include "platform/window.h"

#include <string>
#include <vector>

#include "platform/posix/dialog_window.h"

namespace mossvane::platform {

WindowHandle ActiveWindowOfCallingThread() {
    return nullptr;
}

std::int32_t ShowSystemModalMessageBox(std::u16string_view caption, std::u16string_view text) {
    const std::vector<std::u16string> texts{std::u16string(caption), std::u16string(text)};
    std::u16string answer;
    const std::int32_t button = posix::RunDialogHelper(posix::kMessageModeArgument, texts, answer);
    return button < 0 ? 0 : button;
}

}  // namespace mossvane::platform
