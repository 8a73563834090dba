#include "params/text_conversion.h"

#include "platform/codepage.h"
#include "platform/utf8.h"

namespace mossvane {

std::u16string AnsiToWide(const char* text) {
    return platform::AnsiCodePageToUtf16(text);
}

std::string WideToAnsi(std::u16string_view text) {
    // Only a null code unit converts to a null byte, so cutting the input at
    // its first null makes the result end at the first null of the output.
    return platform::Utf16ToAnsiCodePage(text.substr(0, text.find(u'\0')));
}

std::u16string Utf8ToWide(const char* text) {
    if (text == nullptr) return {};
    // The portable decoder rather than CP_UTF8, so that every platform
    // replaces exactly the same ill-formed bytes with U+FFFD.
    return platform::Utf8ToUtf16(text);
}

}  // namespace mossvane
