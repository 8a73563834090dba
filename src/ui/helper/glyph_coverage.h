// Whether the fonts on this system can show the dialog's texts. A system
// without a font for the user's script draws every character as an empty
// box and says nothing; the helper says it on the debug output instead.
#pragma once

#include <string>
#include <vector>

namespace mossvane::dialog_helper {

// Lays out each of `texts` with the display's fonts and, when some characters
// have no glyph in any installed font, writes one debug line that names
// their language and script. Needs an open display.
void ReportMissingGlyphs(const std::vector<std::u16string>& texts);

}  // namespace mossvane::dialog_helper
