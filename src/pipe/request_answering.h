// Answers to request messages and the order of identification-number dialogs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mossvane {

// Shows the identification-number dialog on the calling thread. Returns 1
// with the digits in number when the user confirmed a valid number; any
// other value is a cancellation (2) or a dialog that couldn't be shown (-1).
using NumberPrompt = std::function<std::int32_t(std::u16string& number)>;

// The dialog the server shows for GETINFO; without one every GETINFO is
// answered as cancelled.
void SetNumberPrompt(NumberPrompt prompt);

}  // namespace mossvane
