// Overwrites text that held an identification number before its memory is
// given back, so the number does not linger in freed heap blocks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mossvane::platform {

// Zeroes `size` bytes at `data` in a way the compiler may not drop.
void WipeBytes(void* data, std::size_t size);

// Zeroes the whole buffer of `text` (its full capacity, so characters left
// behind by earlier shortening go too) and leaves it empty.
void WipeText(std::u16string& text);
void WipeText(std::string& text);

// Wipes every text, then empties the list.
void WipeTexts(std::vector<std::u16string>& texts);

}  // namespace mossvane::platform
