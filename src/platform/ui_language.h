// The user's default user-interface language, as Windows identifies
// languages: a 16-bit language identifier whose low 10 bits are the primary
// language and whose upper 6 bits are the sub-language.
#pragma once

#include <cstdint>

namespace mossvane::platform {

inline constexpr std::uint16_t kLanguageIdEnglishUnitedStates = 0x0409;

// Windows: the system's own answer. Elsewhere: derived from the first of
// LANGUAGE (its first entry), LC_ALL, LC_MESSAGES and LANG that is set and
// not empty; "C", "POSIX", nothing set or a language without a Windows
// identifier gives English (United States).
std::uint16_t GetUserDefaultUILanguage();

}  // namespace mossvane::platform
