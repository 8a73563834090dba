// Stands in for the Windows ANSI code page (CP_ACP): on POSIX systems the
// narrow text of file names, XML files and the environment is UTF-8, so that
// is the code page.
#include "platform/codepage.h"

#include "platform/utf8.h"

namespace mossvane::platform {

std::uint32_t AnsiCodePage() {
    return kUtf8CodePage;
}

std::u16string AnsiCodePageToUtf16(const char* text) {
    if (text == nullptr) return {};
    // A string_view over a null-terminated text stops at its null, and the
    // decoder turns no other byte into a null, so the result ends there too.
    return Utf8ToUtf16(text);
}

std::string Utf16ToAnsiCodePage(std::u16string_view text) {
    return Utf16ToUtf8(text);
}

}  // namespace mossvane::platform
