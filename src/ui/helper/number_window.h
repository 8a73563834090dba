// The identification-number dialog of the dialog helper, laid out after the
// Windows dialog template: the number box, the range label, OK and Cancel.
#pragma once

#include <cstdint>
#include <string>

#include "ui/dialog_texts.h"

namespace mossvane::dialog_helper {

// Shows the dialog and returns its end code: kEndCodeOk with `number` set to
// the accepted digits, or kEndCodeCancel.
std::int32_t RunNumberWindow(const NumberDialogTexts& texts, std::u16string& number);

}  // namespace mossvane::dialog_helper
