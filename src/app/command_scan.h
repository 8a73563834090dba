// The two rules the command line is read by: finding one of a set of
// characters, and comparing a word with a keyword regardless of case.
#pragma once

#include <string_view>

namespace mossvane {

// Steps through the null-terminated `text` character by character until a
// character of `set` is met; returns the position just after it, or null
// when the text ends first (also for a null or empty text).
const char16_t* FindOneOf(const char16_t* text, std::u16string_view set);

// Whether the word at `word` equals `keyword`, comparing upper-cased
// characters. A word ends at the terminating null, a space or a tab, and
// both must end at the same point: EXIT matches Exit, Open/Exit and Opener
// don't match Open.
bool WordEquals(const char16_t* word, std::u16string_view keyword);

}  // namespace mossvane
