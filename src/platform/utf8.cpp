#include "platform/utf8.h"

#include <cstddef>
#include <cstdint>

namespace mossvane::platform {
namespace {

// What a lead byte promises: how many continuation bytes follow, which of its
// own bits carry the code point, and the range the first continuation byte
// must fall in. The narrowed ranges after E0, ED, F0 and F4 are what rule out
// overlong forms, surrogates and values above U+10FFFF without decoding first.
struct LeadByteRule {
    int continuationCount = 0;  // 0: the byte can't start a sequence
    std::uint8_t payloadMask = 0;
    std::uint8_t firstLower = 0x80;
    std::uint8_t firstUpper = 0xBF;
};

LeadByteRule RuleForLeadByte(std::uint8_t lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return {1, 0x1F, 0x80, 0xBF};
    if (lead == 0xE0) return {2, 0x0F, 0xA0, 0xBF};
    if (lead == 0xED) return {2, 0x0F, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {2, 0x0F, 0x80, 0xBF};
    if (lead == 0xF0) return {3, 0x07, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {3, 0x07, 0x80, 0xBF};
    if (lead == 0xF4) return {3, 0x07, 0x80, 0x8F};
    return {};
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf16(std::u16string& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    const char32_t offset = codePoint - 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

// What a maximal ill-formed subpart becomes: one U+FFFD for text, or each of
// its bytes escaped for a file name.
enum class IllFormed { Replace, EscapeBytes };

constexpr char16_t kByteEscapeBase = 0xDC00;

void AppendIllFormed(std::string_view subpart, IllFormed handling, std::u16string& out) {
    if (handling == IllFormed::Replace) {
        out.push_back(kReplacementCharacter);
        return;
    }
    for (const char byte : subpart) {
        out.push_back(static_cast<char16_t>(kByteEscapeBase | static_cast<std::uint8_t>(byte)));
    }
}

// Decodes the sequence that starts at `position`, appends its code point (or
// what `handling` makes of a maximal ill-formed subpart) and returns where
// the next sequence starts. A byte that breaks a sequence is not consumed: it
// starts the next one.
std::size_t DecodeSequence(std::string_view bytes, std::size_t position, IllFormed handling,
                           std::u16string& out) {
    const auto lead = static_cast<std::uint8_t>(bytes[position]);
    if (lead < 0x80) {
        out.push_back(lead);
        return position + 1;
    }
    const LeadByteRule rule = RuleForLeadByte(lead);
    if (rule.continuationCount == 0) {
        AppendIllFormed(bytes.substr(position, 1), handling, out);
        return position + 1;
    }
    char32_t codePoint = lead & rule.payloadMask;
    std::uint8_t lower = rule.firstLower;
    std::uint8_t upper = rule.firstUpper;
    std::size_t next = position + 1;
    for (int i = 0; i < rule.continuationCount; ++i, ++next) {
        // The end of the input reads as 0, which is never a continuation byte.
        const auto byte = static_cast<std::uint8_t>(next < bytes.size() ? bytes[next] : 0);
        if (byte < lower || byte > upper) {
            AppendIllFormed(bytes.substr(position, next - position), handling, out);
            return next;
        }
        codePoint = (codePoint << 6) | (byte & 0x3F);
        lower = 0x80;
        upper = 0xBF;
    }
    AppendUtf16(out, codePoint);
    return next;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// Never more code units than bytes: the text does not outgrow this.
std::u16string Decode(std::string_view bytes, IllFormed handling) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t position = 0;
    while (position < bytes.size()) {
        position = DecodeSequence(bytes, position, handling, out);
    }
    return out;
}

// Only the escapes of bytes that can't start well-formed UTF-8 by themselves
// (0x80 to 0xFF) ever come out of the decoder.
bool IsByteEscape(char16_t unit) {
    return unit >= (kByteEscapeBase | 0x80) && unit <= (kByteEscapeBase | 0xFF);
}

// No code unit takes more than three bytes (a pair of two takes four), so
// the text never outgrows this: growing would leave a copy of the text
// behind in freed memory, and the text may hold the number.
constexpr std::size_t kLongestBytesPerUnit = 3;

std::string Encode(std::u16string_view text, IllFormed handling) {
    std::string out;
    out.reserve(text.size() * kLongestBytesPerUnit);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            const char32_t high = unit - 0xD800;
            const char32_t low = text[++i] - 0xDC00;
            AppendUtf8(out, 0x10000 + ((high << 10) | low));
        } else if (handling == IllFormed::EscapeBytes && IsByteEscape(unit)) {
            out.push_back(static_cast<char>(unit & 0xFF));
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(out, kReplacementCharacter);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view bytes) {
    return Decode(bytes, IllFormed::Replace);
}

std::string Utf16ToUtf8(std::u16string_view text) {
    return Encode(text, IllFormed::Replace);
}

std::u16string FileNameToUtf16(std::string_view bytes) {
    return Decode(bytes, IllFormed::EscapeBytes);
}

std::string Utf16ToFileName(std::u16string_view text) {
    return Encode(text, IllFormed::EscapeBytes);
}

}  // namespace mossvane::platform
