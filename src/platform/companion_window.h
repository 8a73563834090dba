// Windows of companion programs outside this system: finding another
// program's dialog by its title and bringing it to the foreground.
#pragma once

#include <string_view>

namespace mossvane::platform {

enum class ForegroundResult {
    NotFound,  // no such window (or no display to look on)
    Brought,   // found and brought to the foreground
    Refused,   // found, but the system refused to bring it forward
};

// Looks for a top-level window titled `title`: a window of the standard
// dialog class "#32770" on Windows; on X11 a top-level window with that
// title among the window manager's client list (or among the root's
// children when no window manager keeps one). Found, it is activated.
// Without a display nothing is found.
ForegroundResult BringDialogToForeground(std::u16string_view title);

}  // namespace mossvane::platform
