#include "platform/wipe.h"

namespace mossvane::platform {

void WipeMemory(void* memory, std::size_t size) {
    // Stores through a volatile pointer are observable, so they stay even
    // when the memory is freed right after.
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(memory);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

void WipeString(std::u16string& text) {
    text.resize(text.capacity());
    WipeMemory(text.data(), text.size() * sizeof(char16_t));
    text.clear();
}

}  // namespace mossvane::platform
