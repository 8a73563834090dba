// Single characters of wide text as the system sees them: where the next
// character starts, and a character's upper-case form.
#pragma once

namespace mossvane::platform {

// The start of the character after the one at `text` (CharNextW): a base
// character takes the combining marks that follow it along, and a surrogate
// pair is one character. At the terminating null `text` itself.
const char16_t* NextCharacter(const char16_t* text);

// The upper-case form of one UTF-16 code unit by the system's own case
// table, independent of the user's locale (CharUpperW on a single
// character). Code units without an upper-case form come back unchanged.
char16_t UpperCaseCharacter(char16_t c);

}  // namespace mossvane::platform
