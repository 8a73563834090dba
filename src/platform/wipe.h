// Clearing memory that held a secret, in a way the compiler may not skip.
#pragma once

#include <cstddef>
#include <string>

namespace mossvane::platform {

void WipeMemory(void* memory, std::size_t size);

// Overwrites the whole capacity of the string, then empties it.
void WipeString(std::u16string& text);

}  // namespace mossvane::platform
