// Reads the .reg text format: files this program wrote and files written or
// exported by people, so it accepts what the Windows registry editor writes
// (UTF-16LE, CR LF, wrapped hex lists) as well as the UTF-8 form.
#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/posix/reg_file.h"
#include "platform/utf8.h"

namespace mossvane::platform::posix {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeByteOrderMark = "\xFF\xFE";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != prefix[i]) return false;
    }
    return true;
}

std::optional<std::uint32_t> ParseHexNumber(std::string_view digits, std::size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    std::uint32_t number = 0;
    for (const char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return std::nullopt;
        number = number * 16 + static_cast<std::uint32_t>(digit);
    }
    return number;
}

// The file's text as UTF-8, or nothing when it is not well-formed.
std::optional<std::string> DecodeFileText(std::string_view bytes) {
    if (bytes.starts_with(kUtf16LeByteOrderMark)) {
        bytes.remove_prefix(kUtf16LeByteOrderMark.size());
        if (bytes.size() % 2 != 0) return std::nullopt;
        std::u16string text(bytes.size() / 2, u'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                            static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8);
        }
        std::string utf8 = Utf16ToUtf8(text);
        if (Utf8ToUtf16(utf8) != text) return std::nullopt;
        return utf8;
    }
    if (bytes.starts_with(kUtf8ByteOrderMark)) bytes.remove_prefix(kUtf8ByteOrderMark.size());
    if (Utf16ToUtf8(Utf8ToUtf16(bytes)) != bytes) return std::nullopt;
    return std::string(bytes);
}

std::vector<std::uint8_t> TerminatedUtf16Le(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(2 * text.size() + 2);
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

class Reader {
  public:
    explicit Reader(std::string_view text) : m_rest(text) {}

    bool Read(RegFile& file);
    std::size_t LineNumber() const { return m_lineNumber; }

  private:
    bool NextLine(std::string_view& line);
    bool ReadSection(std::string_view line, RegFile& file);
    bool ReadValue(std::string_view line, RegFile& file);
    bool ReadData(std::string_view text, RegistryValue& value);
    bool ReadHexList(std::string_view text, std::vector<std::uint8_t>& bytes);

    std::string_view m_rest;
    std::size_t m_lineNumber = 0;
    // The section that value lines belong to; none before the first section
    // and inside a removal section.
    std::optional<std::size_t> m_section;
};

bool Reader::NextLine(std::string_view& line) {
    if (m_rest.empty()) return false;
    const std::size_t end = m_rest.find('\n');
    line = m_rest.substr(0, end);
    m_rest.remove_prefix(end == std::string_view::npos ? m_rest.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    line = Trimmed(line);
    ++m_lineNumber;
    return true;
}

bool Reader::Read(RegFile& file) {
    bool headerSeen = false;
    bool inRemovedSection = false;
    std::string_view line;
    while (NextLine(line)) {
        if (line.empty() || line.front() == ';') continue;
        if (!headerSeen) {
            if (line != kRegFileHeader) return false;
            headerSeen = true;
        } else if (line.front() == '[') {
            inRemovedSection = line.starts_with("[-");
            if (!ReadSection(line, file)) return false;
        } else if (!inRemovedSection && !ReadValue(line, file)) {
            return false;
        }
    }
    return true;
}

// Splits a section path into the file's spelling, refusing empty components
// and names that could not be written back (a CR or a null inside the line),
// so every hive that reads can also be rewritten.
std::optional<std::u16string> SectionPath(std::string_view text) {
    std::u16string path = Utf8ToUtf16(text);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(path.find(kKeySeparator, start), path.size());
        const std::u16string_view component(path.data() + start, end - start);
        if (!IsWritableKeyName(component)) return std::nullopt;
        if (end == path.size()) return path;
        start = end + 1;
    }
}

bool Reader::ReadSection(std::string_view line, RegFile& file) {
    // The last ']' closes the section: key names may themselves hold ']'.
    if (!line.ends_with(']')) return false;
    std::string_view text = line.substr(1, line.size() - 2);
    const bool removal = text.starts_with('-');
    if (removal) text.remove_prefix(1);
    const std::optional<std::u16string> path = SectionPath(text);
    if (!path) return false;
    if (removal) {
        std::erase_if(file.sections, [&](const RegFileSection& section) {
            return EqualsIgnoringAsciiCase(section.path, *path) || IsBelow(section.path, *path);
        });
        m_section.reset();
        return true;
    }
    if (const RegFileSection* existing = file.FindSection(*path)) {
        m_section = static_cast<std::size_t>(existing - file.sections.data());
        return true;
    }
    m_section = file.sections.size();
    file.sections.push_back({*path, {}});
    return true;
}

// Reads a quoted text starting at the opening quote; `position` ends past the
// closing one. A backslash before anything but \ " n r is kept as written.
bool ReadQuoted(std::string_view line, std::size_t& position, std::u16string& text) {
    std::string utf8;
    for (std::size_t i = position + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            position = i + 1;
            text = Utf8ToUtf16(utf8);
            return true;
        }
        if (c != '\\') {
            utf8.push_back(c);
            continue;
        }
        if (++i == line.size()) return false;
        const char escaped = line[i];
        if (escaped == 'n')
            utf8.push_back('\n');
        else if (escaped == 'r')
            utf8.push_back('\r');
        else if (escaped == '\\' || escaped == '"')
            utf8.push_back(escaped);
        else
            utf8.append({'\\', escaped});
    }
    return false;
}

bool Reader::ReadValue(std::string_view line, RegFile& file) {
    if (!m_section) return false;
    std::u16string name;
    std::size_t position = 1;
    if (line.front() == '"') {
        position = 0;
        // A name the writer could not write back (a null inside) is refused.
        if (!ReadQuoted(line, position, name) || !IsWritableValueName(name)) return false;
    } else if (line.front() != '@') {
        return false;
    }
    const std::string_view rest = Trimmed(line.substr(position));
    if (!rest.starts_with('=')) return false;
    const std::string_view data = Trimmed(rest.substr(1));
    RegFileSection& section = file.sections[*m_section];
    if (data == "-") {
        section.RemoveValue(name);
        return true;
    }
    RegistryValue value;
    if (!ReadData(data, value)) return false;
    section.SetValue(name, value);
    return true;
}

bool Reader::ReadData(std::string_view text, RegistryValue& value) {
    if (text.starts_with('"')) {
        std::size_t position = 0;
        std::u16string content;
        if (!ReadQuoted(text, position, content) || position != text.size()) return false;
        value = {reg_type::kSz, TerminatedUtf16Le(content)};
        return true;
    }
    if (StartsWithIgnoringAsciiCase(text, "dword:")) {
        const std::optional<std::uint32_t> number = ParseHexNumber(text.substr(6), 8);
        if (!number) return false;
        value.type = reg_type::kDword;
        value.data = {static_cast<std::uint8_t>(*number), static_cast<std::uint8_t>(*number >> 8),
                      static_cast<std::uint8_t>(*number >> 16),
                      static_cast<std::uint8_t>(*number >> 24)};
        return true;
    }
    if (!StartsWithIgnoringAsciiCase(text, "hex")) return false;
    text.remove_prefix(3);
    value.type = reg_type::kBinary;
    if (text.starts_with('(')) {
        const std::size_t close = text.find(')');
        if (close == std::string_view::npos) return false;
        const std::optional<std::uint32_t> type = ParseHexNumber(text.substr(1, close - 1), 8);
        if (!type) return false;
        value.type = *type;
        text.remove_prefix(close + 1);
    }
    if (!text.starts_with(':')) return false;
    return ReadHexList(text.substr(1), value.data);
}

// Reads "01,02,ff" and its continuation lines: a list may be wrapped after
// any comma with a trailing '\'.
bool Reader::ReadHexList(std::string_view text, std::vector<std::uint8_t>& bytes) {
    std::string joined;
    for (std::string_view piece = Trimmed(text); piece.ends_with('\\');) {
        joined.append(piece.substr(0, piece.size() - 1));
        if (!NextLine(piece)) return false;
        text = piece;
    }
    joined.append(Trimmed(text));
    bytes.clear();
    if (Trimmed(joined).empty()) return true;
    std::string_view rest = joined;
    for (;;) {
        const std::size_t comma = rest.find(',');
        const std::optional<std::uint32_t> byte = ParseHexNumber(Trimmed(rest.substr(0, comma)), 2);
        if (!byte) return false;
        bytes.push_back(static_cast<std::uint8_t>(*byte));
        if (comma == std::string_view::npos) return true;
        rest.remove_prefix(comma + 1);
    }
}

}  // namespace

bool ParseRegFile(std::string_view bytes, RegFile& file, std::size_t* errorLine) {
    file.sections.clear();
    if (errorLine) *errorLine = 0;
    const std::optional<std::string> text = DecodeFileText(bytes);
    if (!text) return false;
    Reader reader(*text);
    if (reader.Read(file)) return true;
    if (errorLine) *errorLine = reader.LineNumber();
    file.sections.clear();
    return false;
}

}  // namespace mossvane::platform::posix
