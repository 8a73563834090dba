// Placing the dialog: centred where the user looks, and forced into the
// foreground, since the server that shows it is not the program the user is
// working in.
#pragma once

#include "platform/win32/windows_include.h"

namespace mossvane {

// Centres `dialog` over its owner when that is visible and not minimised,
// else over the work area of the nearest monitor, and keeps it inside that
// work area (left and top edges win). Only the position changes.
void CenterDialog(HWND dialog);

// Makes `target` (the dialog `dialog` when null) the foreground window,
// attaching to the foreground thread's input first and lifting the
// foreground lock time-out for a moment when that is not enough.
void BringToForeground(HWND target, HWND dialog);

}  // namespace mossvane
