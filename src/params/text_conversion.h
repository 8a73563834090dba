// Conversions between the program's wide text and the narrow text of the XML
// libraries, file names handed to them and the job information file. The
// system's ANSI code page is CP_ACP on Windows and UTF-8 elsewhere. None of
// them fails: each result ends at the first null of the converted text.
#pragma once

#include <string>
#include <string_view>

namespace mossvane {

// From the system's ANSI code page. A null text or a failed conversion gives
// the empty string.
std::u16string AnsiToWide(const char* text);

// To the system's ANSI code page. Characters the page can't represent become
// its default character ("?" in the Windows pages; in UTF-8 only unpaired
// surrogates are unrepresentable, and they become U+FFFD).
std::string WideToAnsi(std::u16string_view text);

// From UTF-8 on every platform. A null text gives the empty string; each
// maximal ill-formed subsequence becomes one U+FFFD.
std::u16string Utf8ToWide(const char* text);

}  // namespace mossvane
