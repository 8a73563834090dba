// The line-oriented text form of a parameter set: one entry "key=value" per
// line, lines separated by line feeds, carriage returns ignored, every line
// without "=" skipped. Requests, answers and job information travel in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "params/param_map.h"

namespace mossvane {

// A source of 16-bit characters read one at a time or one line at a time.
class StringReaderW {
  public:
    virtual ~StringReaderW() = default;

    // The next character as 0..65535, or -1 when none is left.
    virtual std::int32_t ReadChar() = 0;

    // Reads the next line into `line`; false when there is none.
    virtual bool ReadLine(std::u16string& line) = 0;

  protected:
    StringReaderW() = default;
    StringReaderW(const StringReaderW&) = default;
    StringReaderW& operator=(const StringReaderW&) = default;
};

// Reads a caller's buffer of `length` characters, which it does not own and
// which needs no terminator. A null buffer reads as empty. One reader serves
// one pass: it keeps its position.
class MemReaderW : public StringReaderW {
  public:
    MemReaderW(const char16_t* data, std::uint32_t length) : m_data(data), m_length(length) {}

    // A null character inside the length is an ordinary character.
    std::int32_t ReadChar() override;

    // A line ends at a line feed, which is consumed but not stored; carriage
    // returns are dropped wherever they stand. A last line without a line
    // feed is still delivered, but an empty one at the end of the data is
    // not. Characters come through ReadChar, so a derived reader's override
    // is honoured.
    bool ReadLine(std::u16string& line) override;

  private:
    const char16_t* m_data;
    std::uint32_t m_length;
    std::uint32_t m_position = 0;
};

// Replaces the contents of `out` with the entries the reader delivers: for
// each line containing "=", key = the text before the first "=", value = the
// text after it, nothing trimmed; a later line for a key wins. Lines without
// "=" are skipped. Always true: the text form has no errors.
bool ParseParams(StringReaderW& reader, ParamMap& out);

// ParseParams over `length` characters of `text` (a null-terminated text is
// passed without its terminator). Always true.
bool ParseParamText(const char16_t* text, std::uint32_t length, ParamMap& out);

// Writes the entries in key order as "key=value" lines joined by single line
// feeds, with no line feed at the end and nothing escaped. The result parses
// back to the same set when no key holds "=" and nothing holds CR or LF.
std::u16string FormatParamText(const ParamMap& set);

// The length FormatParamText's result has, found without making it.
std::size_t FormattedParamTextLength(const ParamMap& set);

}  // namespace mossvane
