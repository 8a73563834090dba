// The UTF-8 codec shared by both backends: the text conversions use it for
// UTF-8 input on every platform, and the POSIX backend uses it as its ANSI
// code page. Neither direction fails: what can't be converted becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace mossvane::platform {

inline constexpr char16_t kReplacementCharacter = u'\uFFFD';

// Decodes every byte of `bytes` (a null byte is an ordinary character). Each
// maximal subpart of an ill-formed sequence becomes one U+FFFD, following the
// Unicode Standard's recommended practice: overlong forms, encoded surrogates
// and code points above U+10FFFF are ill-formed. The result never holds an
// unpaired surrogate.
std::u16string Utf8ToUtf16(std::string_view bytes);

// Encodes every code unit of `text`. A surrogate that is not part of a
// high-low pair is encoded as U+FFFD (EF BF BD), as Windows does for CP_UTF8,
// so the result is always well-formed UTF-8.
std::string Utf16ToUtf8(std::u16string_view text);

// File names and command-line arguments on POSIX are bytes that need not be
// UTF-8 (a Latin-1 "caf\xE9.xml"). These two carry every byte through UTF-16
// and back unchanged: each byte of an ill-formed subpart becomes the unpaired
// surrogate U+DC80 to U+DCFF (0xDC00 plus the byte), which well-formed UTF-8
// never decodes to, and turns back into that byte. Everything else is
// converted as above.
std::u16string FileNameToUtf16(std::string_view bytes);
std::string Utf16ToFileName(std::u16string_view text);

}  // namespace mossvane::platform
