// Names and sizes the localization module relies on, named once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mossvane::l10n {

// The one file beside the program that holds every language's texts.
inline constexpr char16_t kLocalizationFileName[] = u"localization.xml";

// The companion library that knows the user's preferred languages, without
// the platform's library ending (".dll" on Windows).
inline constexpr char16_t kLanguageLibraryBaseName[] = u"lotrasx";
inline constexpr char kPreferredLanguagesExport[] = "GetPreferredUILanguagesListW";
// What the program passes as the export's first argument, and the size in
// UTF-16 units of the zero-filled buffer that receives the list.
inline constexpr std::uint32_t kPreferredLanguagesRequest = 8;
inline constexpr std::size_t kPreferredLanguagesBufferUnits = 512;
inline constexpr char16_t kLanguageListSeparator = u':';

// The driver plug-in key under HKEY_LOCAL_MACHINE and its language value.
inline constexpr char16_t kPlugInKeyPath[] = u"Software\\Varnock\\Varnock Printer Driver Plug In";
inline constexpr char16_t kCountryCodeValueName[] = u"CntCode";

// Paths and registry strings are bounded by this many characters, the
// terminating null included.
inline constexpr std::size_t kMaxPathChars = 260;

// Far beyond any localization file; a larger one is not read at all, so a
// stray huge file can't exhaust memory.
inline constexpr std::size_t kMaxLocalizationFileSize = 64 * 1024 * 1024;

// The language chosen until something better is known.
inline constexpr char16_t kDefaultLanguageCode[] = u"EN";

// Element and attribute names of the localization file.
inline constexpr char kMessageElement[] = "Msg";
inline constexpr char kLanguageAttribute[] = "LN";
inline constexpr char kGroupAttribute[] = "GR";
inline constexpr char kIdElement[] = "Id";
inline constexpr char kValueElement[] = "Val";
inline constexpr char16_t kKeySeparator = u'/';

}  // namespace mossvane::l10n
