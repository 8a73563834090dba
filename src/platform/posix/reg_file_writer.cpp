// Writes the .reg text format: UTF-8, one value per line, strings as quoted
// text only when the bytes read back exactly, everything else as hex bytes.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/posix/reg_file.h"
#include "platform/utf8.h"

namespace mossvane::platform::posix {
namespace {

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The text of a REG_SZ value that can be written in quotes: an even number of
// bytes ending in the only null, with every surrogate paired. Anything else
// would not read back as the same bytes.
std::optional<std::u16string> QuotableText(const std::vector<std::uint8_t>& data) {
    if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
    std::u16string text(data.size() / 2 - 1, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
        if (text[i] == u'\0') return std::nullopt;
    }
    if (data[data.size() - 2] != 0 || data.back() != 0) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsLowSurrogate(text[i])) return std::nullopt;
        if (IsHighSurrogate(text[i]) && (i + 1 == text.size() || !IsLowSurrogate(text[++i]))) {
            return std::nullopt;
        }
    }
    return text;
}

void AppendQuoted(std::string& out, std::u16string_view text) {
    out.push_back('"');
    for (const char c : Utf16ToUtf8(text)) {
        if (c == '\\')
            out.append("\\\\");
        else if (c == '"')
            out.append("\\\"");
        else if (c == '\n')
            out.append("\\n");
        else if (c == '\r')
            out.append("\\r");
        else
            out.push_back(c);
    }
    out.push_back('"');
}

void AppendHexList(std::string& out, const std::vector<std::uint8_t>& bytes) {
    char digits[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(digits, sizeof digits, i == 0 ? "%02x" : ",%02x", bytes[i]);
        out.append(digits);
    }
}

void AppendData(std::string& out, const RegistryValue& value) {
    if (value.type == reg_type::kSz) {
        if (const std::optional<std::u16string> text = QuotableText(value.data)) {
            AppendQuoted(out, *text);
            return;
        }
    }
    char prefix[24];
    if (value.type == reg_type::kDword && value.data.size() == 4) {
        const std::uint32_t number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                                     static_cast<std::uint32_t>(value.data[3]) << 24;
        std::snprintf(prefix, sizeof prefix, "dword:%08x", number);
        out.append(prefix);
        return;
    }
    if (value.type == reg_type::kBinary) {
        out.append("hex:");
    } else {
        std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
        out.append(prefix);
    }
    AppendHexList(out, value.data);
}

bool IsWritableSectionPath(std::u16string_view path) {
    return path.find_first_of(u"\r\n") == std::u16string_view::npos && IsWritableValueName(path);
}

}  // namespace

bool FormatRegFile(const RegFile& file, std::string& text) {
    text.assign(kRegFileHeader);
    text.push_back('\n');
    for (const RegFileSection& section : file.sections) {
        if (!IsWritableSectionPath(section.path)) return false;
        text.append("\n[").append(Utf16ToUtf8(section.path)).append("]\n");
        for (const RegFileValue& value : section.values) {
            if (!IsWritableValueName(value.name)) return false;
            if (value.name.empty()) {
                text.push_back('@');
            } else {
                AppendQuoted(text, value.name);
            }
            text.push_back('=');
            AppendData(text, value.value);
            text.push_back('\n');
        }
    }
    return true;
}

}  // namespace mossvane::platform::posix
