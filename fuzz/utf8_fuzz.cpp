// Feeds arbitrary bytes to the UTF-8 decoder and the same bytes, read as
// UTF-16 code units, to the encoder, and checks that both always produce
// well-formed text that the other direction reproduces.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "params/text_conversion.h"
#include "platform/utf8.h"

namespace {

using mossvane::fuzz::Require;

using mossvane::platform::kReplacementCharacter;
using mossvane::platform::Utf16ToUtf8;
using mossvane::platform::Utf8ToUtf16;

bool IsHigh(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

bool IsWellFormed(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsLow(text[i])) return false;
        if (!IsHigh(text[i])) continue;
        if (i + 1 == text.size() || !IsLow(text[i + 1])) return false;
        ++i;
    }
    return true;
}

void CheckDecoding(std::string_view bytes) {
    // Utf8ToWide reads up to the first null, like the C string it is given.
    const std::string terminated(bytes.substr(0, bytes.find('\0')));
    const std::u16string wide = mossvane::Utf8ToWide(terminated.c_str());
    Require(wide == Utf8ToUtf16(terminated));
    Require(IsWellFormed(wide));
    Require(wide.find(u'\0') == std::u16string::npos);
    Require(wide.size() <= terminated.size());
    // Without a replacement the input was well-formed, so encoding gives it
    // back byte for byte; with one, decoding the encoding is stable.
    const std::string reencoded = Utf16ToUtf8(wide);
    if (wide.find(kReplacementCharacter) == std::u16string::npos) Require(reencoded == terminated);
    Require(Utf8ToUtf16(reencoded) == wide);
}

void CheckEncoding(std::u16string_view text) {
    const std::u16string decoded = Utf8ToUtf16(Utf16ToUtf8(text));
    // Only unpaired surrogates change, each into one U+FFFD.
    Require(decoded.size() == text.size());
    Require(IsWellFormed(decoded));
    if (IsWellFormed(text)) Require(decoded == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckDecoding(bytes);

    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    CheckEncoding(units);
    return 0;
}
