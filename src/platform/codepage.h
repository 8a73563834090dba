// Conversions between UTF-16 and the system's ANSI code page: CP_ACP on
// Windows, UTF-8 on every other platform.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mossvane::platform {

// The Windows number of the UTF-8 code page.
inline constexpr std::uint32_t kUtf8CodePage = 65001;

// The number of the ANSI code page the conversions below use (1252 on a
// Western Windows, kUtf8CodePage on POSIX).
std::uint32_t AnsiCodePage();

// The name XML declarations and MIME use for the encoding of code page
// `codePage` (IANA's charset registry): "windows-1252" for 1252, "UTF-8" for
// kUtf8CodePage, and so on for every page Windows uses as its ANSI code page;
// "windows-<number>" for any other.
std::string EncodingNameOfCodePage(std::uint32_t codePage);

// The encoding name of AnsiCodePage(), for text written in it.
std::string AnsiCodePageEncodingName();

// Converts `text` up to its terminating null from the ANSI code page. Bytes
// the code page can't decode become U+FFFD. A null `text` or a failed
// conversion gives the empty string; the result ends at the first null.
std::u16string AnsiCodePageToUtf16(const char* text);

// Converts every code unit of `text` to the ANSI code page. Characters the
// page can't represent become its default character; in UTF-8 that is only
// an unpaired surrogate, which becomes U+FFFD. A failed conversion gives the
// empty string.
std::string Utf16ToAnsiCodePage(std::u16string_view text);

}  // namespace mossvane::platform
