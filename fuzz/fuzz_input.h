// What the fuzz targets share: how a broken property stops the run, and how
// raw input becomes the UTF-16 text that the pipe carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace mossvane::fuzz {

// Aborts, which the fuzzer reports as a crash with the input that did it.
inline void Require(bool condition) {
    if (!condition) std::abort();
}

// The input as little-endian UTF-16 code units; an odd last byte is dropped.
inline std::u16string CodeUnits(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return text;
}

}  // namespace mossvane::fuzz
