#include "wire/terminated_text.h"

namespace mossvane {

std::ptrdiff_t TerminatedTextLength(const std::uint8_t* bytes, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0) return static_cast<std::ptrdiff_t>(i / 2);
    }
    return -1;
}

std::u16string DecodeText(const std::uint8_t* bytes, std::size_t length) {
    std::u16string text(length, u'\0');
    for (std::size_t i = 0; i < length; ++i) {
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return text;
}

}  // namespace mossvane
