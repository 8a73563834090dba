// The companion access-control program's dialog: the Open and Exit verbs
// bring it to the front instead of asking the server when it is open.
#pragma once

namespace mossvane {

// The title of the companion program's dialog, a standard dialog window.
inline constexpr char16_t kAccessControlDialogTitle[] = u"Pendrel Access Control";

// True when the dialog exists and was brought to the foreground.
bool BringAccessControlToFront();

}  // namespace mossvane
