// The system's ANSI code page (CP_ACP) through MultiByteToWideChar and
// WideCharToMultiByte, with no flags and no default-character override.
#include "platform/codepage.h"

#include <climits>

#include "platform/win32/windows_include.h"

namespace mossvane::platform {

std::uint32_t AnsiCodePage() {
    return GetACP();
}

std::u16string AnsiCodePageToUtf16(const char* text) {
    if (text == nullptr) return {};
    // The terminator takes part in the conversion, so the required size
    // counts it; one more unit of room keeps the buffer terminated whatever
    // the second call writes.
    const int required = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (required <= 0) return {};
    std::u16string buffer(static_cast<std::size_t>(required) + 1, u'\0');
    const int written =
        MultiByteToWideChar(CP_ACP, 0, text, -1, win32::Wide(buffer.data()), required + 1);
    if (written <= 0) return {};
    buffer.resize(std::char_traits<char16_t>::length(buffer.c_str()));
    return buffer;
}

std::string Utf16ToAnsiCodePage(std::u16string_view text) {
    // An empty input is an error for WideCharToMultiByte, not an empty text.
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const auto length = static_cast<int>(text.size());
    const wchar_t* wide = win32::Wide(text.data());
    const int required = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (required <= 0) return {};
    std::string buffer(static_cast<std::size_t>(required), '\0');
    const int written =
        WideCharToMultiByte(CP_ACP, 0, wide, length, buffer.data(), required, nullptr, nullptr);
    if (written <= 0) return {};
    buffer.resize(static_cast<std::size_t>(written));
    return buffer;
}

}  // namespace mossvane::platform
