// Windows as the program sees them: an opaque handle for owners, and the one
// message box shown outside any dialog.
#pragma once

#include <cstdint>
#include <string_view>

namespace mossvane::platform {

// A window the program does not own (HWND on Windows). Null is "no window".
using WindowHandle = void*;

// The active window of the calling thread's message queue, or null. On
// platforms without per-thread windows always null.
WindowHandle ActiveWindowOfCallingThread();

// Shows `text` under `caption` with one OK button and no icon, above every
// other window and without an owner, and waits until the user closes it.
// Returns the button chosen (1, OK), or 0 when the box can't be shown (no
// display, for one).
std::int32_t ShowSystemModalMessageBox(std::u16string_view caption, std::u16string_view text);

}  // namespace mossvane::platform
