// The rules for what the number box may hold and what OK accepts. Plain
// functions without any window, so both platforms' dialogs share them.
#pragma once

#include <string>
#include <string_view>

#include "ui/dialog_constants.h"

namespace mossvane {

// Removes from `text` every character that is not in `allowed`, keeping the
// order of the others. A text longer than kMaxNumberDigits is cleared instead,
// whatever it holds. True when `text` changed.
bool FilterDigits(std::u16string& text, std::u16string_view allowed = kNumberChars);

// What OK does with the text of the number box.
enum class NumberCheck {
    Empty,     // nothing entered: the "Empty Number" message
    TooShort,  // fewer than kMinNumberDigits: the "Lack Number" message
    Accepted,  // the dialog ends with kEndCodeOk
};

// Only the length counts here: the filter and the box's limit already keep
// the text to at most kMaxNumberDigits digits.
NumberCheck CheckNumber(std::u16string_view number);

// Whether `number` is what a confirmed dialog may hand out: kMinNumberDigits
// to kMaxNumberDigits characters, all of them digits.
bool IsWellFormedNumber(std::u16string_view number);

}  // namespace mossvane
