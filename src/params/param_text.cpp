#include "params/param_text.h"

#include <cstddef>

#include "platform/wipe.h"

namespace mossvane {
namespace {

constexpr std::int32_t kCarriageReturn = u'\r';
constexpr std::int32_t kLineFeed = u'\n';
constexpr char16_t kSeparator = u'=';

}  // namespace

std::int32_t MemReaderW::ReadChar() {
    if (m_data == nullptr || m_position >= m_length) return -1;
    return static_cast<std::uint16_t>(m_data[m_position++]);
}

bool MemReaderW::ReadLine(std::u16string& line) {
    line.clear();
    // Room for the longest line left, so that the line never moves to a
    // bigger block and leaves its first characters in the freed one: the
    // text may hold the identification number.
    if (m_data != nullptr && m_position < m_length) line.reserve(m_length - m_position);
    for (std::int32_t c = ReadChar(); c >= 0; c = ReadChar()) {
        if (c == kLineFeed) return true;
        if (c == kCarriageReturn) continue;
        line.push_back(static_cast<char16_t>(c));
    }
    return !line.empty();
}

bool ParseParams(StringReaderW& reader, ParamMap& out) {
    WipeParams(out);
    std::u16string line;
    while (reader.ReadLine(line)) {
        // An empty line has no "=" either, so this skips it as well.
        const std::size_t separator = line.find(kSeparator);
        if (separator == std::u16string::npos) continue;
        // The value goes straight from the line into its entry, and a value
        // it replaces is wiped: no copy of it is left behind.
        std::u16string& value = out[line.substr(0, separator)];
        platform::WipeText(value);
        value.assign(line, separator + 1);
    }
    platform::WipeText(line);
    return true;
}

bool ParseParamText(const char16_t* text, std::uint32_t length, ParamMap& out) {
    MemReaderW reader(text, length);
    return ParseParams(reader, out);
}

std::size_t FormattedParamTextLength(const ParamMap& set) {
    std::size_t size = 0;
    for (const auto& [key, value] : set) size += key.size() + 1 + value.size();
    // A line feed between each two entries.
    return set.empty() ? 0 : size + set.size() - 1;
}

std::u16string FormatParamText(const ParamMap& set) {
    std::u16string text;
    text.reserve(FormattedParamTextLength(set));
    for (const auto& [key, value] : set) {
        if (!text.empty()) text.push_back(u'\n');
        text.append(key).push_back(kSeparator);
        text.append(value);
    }
    return text;
}

}  // namespace mossvane
