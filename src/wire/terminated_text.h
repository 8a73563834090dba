// Texts on the wire are UTF-16 little-endian and end with a null character:
// requests, answers and the job information. Finding that end is the one
// place where bytes received become text, so nothing past the bytes received
// is ever read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mossvane {

// Length in characters of the text at the start of bytes, or -1 when its
// terminating null is not among the size bytes.
std::ptrdiff_t TerminatedTextLength(const std::uint8_t* bytes, std::size_t size);

// The first length characters of bytes (little-endian) as text.
std::u16string DecodeText(const std::uint8_t* bytes, std::size_t length);

}  // namespace mossvane
