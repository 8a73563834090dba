// The program's two-letter language codes ("EN", "KR", "GR", ...): how they
// are compared, stored, listed and derived from a Windows language id.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mossvane {

// Lower-cases "A" to "Z" and leaves every other code unit as it is, which is
// what single-character lower-casing does in the default locale.
std::u16string ToLowerLanguageCode(std::u16string_view code);

// Equality in which only "A" to "Z" fold to "a" to "z".
bool EqualsIgnoringCase(std::u16string_view left, std::u16string_view right);

// The codes of a ":"-separated list, in order, without the empty pieces that
// leading, trailing or doubled separators leave.
std::vector<std::u16string> SplitLanguageList(std::u16string_view list);

// Arabic and Hebrew, whatever the case.
bool IsRightToLeftLanguage(std::u16string_view code);

// The code for a Windows language id (primary language in the low 10 bits,
// sub-language above). Portuguese of neither Brazil nor Portugal has no
// code: the result is empty. Every language without a code of its own,
// Japanese included, is English.
std::u16string LanguageCodeFromLangId(std::uint16_t languageId);

// The code for the user's default user-interface language.
std::u16string LanguageFromUserUILanguage();

}  // namespace mossvane
