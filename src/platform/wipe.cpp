#include "platform/wipe.h"

namespace mossvane::platform {

void WipeBytes(void* data, std::size_t size) {
    // Writes through a volatile pointer count as observable, so they survive
    // even though the memory is freed right afterwards.
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

namespace {

template <typename Text>
void WipeWholeBuffer(Text& text) {
    // Growing to the capacity never reallocates, and makes the whole buffer
    // part of the string, so it may be written.
    text.resize(text.capacity());
    WipeBytes(text.data(), text.size() * sizeof(typename Text::value_type));
    text.clear();
}

}  // namespace

void WipeText(std::u16string& text) {
    WipeWholeBuffer(text);
}
void WipeText(std::string& text) {
    WipeWholeBuffer(text);
}

void WipeBuffer(std::vector<std::uint8_t>& bytes) {
    bytes.resize(bytes.capacity());
    WipeBytes(bytes.data(), bytes.size());
    bytes.clear();
}

void WipeTexts(std::vector<std::u16string>& texts) {
    for (std::u16string& text : texts) WipeText(text);
    texts.clear();
}

}  // namespace mossvane::platform
