// Why the helper could not open a display. GTK only says that it failed; a
// user reading the journal needs to know which display was tried and what
// stood in the way.
#pragma once

#include <string>

namespace mossvane::dialog_helper {

// One line naming each display the environment names (WAYLAND_DISPLAY,
// DISPLAY) with the reason its socket could not be used, found by trying to
// connect to it.
std::string DescribeDisplayFailure();

}  // namespace mossvane::dialog_helper
