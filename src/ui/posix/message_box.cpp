// Stands in for the Windows message box: the dialog helper program shows it
// in its message mode.
#include "ui/message_box.h"

#include <string>
#include <vector>

#include "ui/posix/dialog_channel.h"
#include "ui/posix/dialog_helper_launcher.h"

namespace mossvane {

std::int32_t ShowSystemModalMessageBox(std::u16string_view caption, std::u16string_view text) {
    const std::vector<std::u16string> texts{std::u16string(caption), std::u16string(text)};
    std::u16string answer;
    const std::int32_t button =
        dialog_helper::RunDialogHelper(dialog_helper::kMessageModeArgument, texts, answer);
    return button < 0 ? 0 : button;
}

}  // namespace mossvane
