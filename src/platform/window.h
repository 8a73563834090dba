// Windows as the program sees them: an opaque handle for owners.
#pragma once

namespace mossvane::platform {

// A window the program does not own (HWND on Windows). Null is "no window".
using WindowHandle = void*;

// The active window of the calling thread's message queue, or null. On
// platforms without per-thread windows always null.
WindowHandle ActiveWindowOfCallingThread();

}  // namespace mossvane::platform
