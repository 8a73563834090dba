// The dialog on POSIX systems: the dialog helper program shows it, with the
// texts looked up here, and sends back the end code and the number.
#include <string>
#include <vector>

#include "platform/wipe.h"
#include "ui/dialog_constants.h"
#include "ui/dialog_texts.h"
#include "ui/number_input.h"
#include "ui/phone_number_dialog.h"
#include "ui/posix/dialog_channel.h"
#include "ui/posix/dialog_helper_launcher.h"

namespace mossvane {

std::int32_t CPhoneNumberDlg2::DoModal(platform::WindowHandle /*owner*/) {
    // There are no owner windows across processes here; the helper keeps its
    // window above all others instead.
    const std::vector<std::u16string> records = ToRecords(LoadNumberDialogTexts(*this));
    std::u16string answer;
    std::function<bool()> closeWhen;
    if (HasCloseCondition()) closeWhen = [this] { return IsToClose(); };
    std::int32_t code = dialog_helper::RunDialogHelper(dialog_helper::kNumberModeArgument, records,
                                                       answer, closeWhen);
    // The helper is another program: whatever it claims, only a well-formed
    // number leaves this dialog.
    if (code == kEndCodeOk && !IsWellFormedNumber(answer)) code = kEndCodeNotShown;
    if (code == kEndCodeOk) m_strNumber.assign(answer);
    platform::WipeText(answer);
    return code;
}

}  // namespace mossvane
