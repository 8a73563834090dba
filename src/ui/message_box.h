// The one message box shown outside any dialog.
#pragma once

#include <cstdint>
#include <string_view>

namespace mossvane {

// Shows `text` under `caption` with one OK button and no icon, above every
// other window and without an owner, and waits until the user closes it.
// Returns the button chosen (1, OK), or 0 when the box can't be shown (no
// display, for one).
std::int32_t ShowSystemModalMessageBox(std::u16string_view caption, std::u16string_view text);

}  // namespace mossvane
