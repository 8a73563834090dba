#include "pipe/job_info.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "log/debug_print.h"
#include "params/param_text.h"
#include "params/text_conversion.h"
#include "pipe/job_file.h"
#include "platform/codepage.h"
#include "platform/spool_files.h"
#include "platform/utf8.h"
#include "platform/wipe.h"

namespace mossvane {

namespace {

struct CodePointRange {
    char32_t first;
    char32_t last;
};

// NameStartChar of XML 1.0 (fifth edition), apart from ':' and '_'.
constexpr CodePointRange kNameStartRanges[] = {
    {U'A', U'Z'},     {U'a', U'z'},     {0xC0, 0xD6},     {0xD8, 0xF6},      {0xF8, 0x2FF},
    {0x370, 0x37D},   {0x37F, 0x1FFF},  {0x200C, 0x200D}, {0x2070, 0x218F},  {0x2C00, 0x2FEF},
    {0x3001, 0xD7FF}, {0xF900, 0xFDCF}, {0xFDF0, 0xFFFD}, {0x10000, 0xEFFFF}};

// What NameChar adds to NameStartChar.
constexpr CodePointRange kNameRanges[] = {
    {U'-', U'.'}, {U'0', U'9'}, {0xB7, 0xB7}, {0x300, 0x36F}, {0x203F, 0x2040}};

template <std::size_t N>
bool InRanges(char32_t c, const CodePointRange (&ranges)[N]) {
    for (const CodePointRange& range : ranges) {
        if (c >= range.first && c <= range.last) return true;
    }
    return false;
}

bool IsNameStartChar(char32_t c) {
    return c == U':' || c == U'_' || InRanges(c, kNameStartRanges);
}

bool IsNameChar(char32_t c) {
    return IsNameStartChar(c) || InRanges(c, kNameRanges);
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The next code point of `text` from `at`; an unpaired surrogate comes out
// as itself, which no name admits.
char32_t NextCodePoint(std::u16string_view text, std::size_t& at) {
    const char16_t c = text[at++];
    if (IsHighSurrogate(c) && at < text.size() && IsLowSurrogate(text[at])) {
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[at++] - 0xDC00);
    }
    return c;
}

// Both the key and the name it becomes in the ANSI code page, where
// characters the page lacks turn into its default character. A colon would
// make the name a prefixed one whose namespace is never declared (or no
// qualified name at all), which namespace-aware readers refuse.
bool IsWrittenAsXmlName(std::u16string_view key, const std::string& ansiName) {
    const std::u16string ansiKey = AnsiToWide(ansiName.c_str());
    return IsXmlName(key) && IsXmlName(ansiKey) && key.find(u':') == std::u16string_view::npos &&
           ansiKey.find(u':') == std::u16string::npos;
}

// The Char production of XML 1.0 for one code point.
bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

}  // namespace

std::u16string JobInfoPathFor(std::u16string_view jobFilePath) {
    const std::u16string_view extension = kJobFileExtension;
    if (jobFilePath.ends_with(extension)) jobFilePath.remove_suffix(extension.size());
    std::u16string path(jobFilePath);
    path += kJobInfoExtension;
    return path;
}

std::u16string XmlCharactersOnly(std::u16string_view text) {
    std::u16string result;
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const char32_t c = NextCodePoint(text, at);
        if (IsXmlChar(c)) {
            result.append(text.substr(start, at - start));
        } else {
            result.push_back(platform::kReplacementCharacter);
        }
    }
    return result;
}

bool IsXmlName(std::u16string_view name) {
    if (name.empty()) return false;
    std::size_t at = 0;
    if (!IsNameStartChar(NextCodePoint(name, at))) return false;
    while (at < name.size()) {
        if (!IsNameChar(NextCodePoint(name, at))) return false;
    }
    return true;
}

namespace {

// TinyXML-2's own printer, and a document, give their blocks back as they
// are; this printer keeps the text in a buffer of the program's, which is
// wiped whenever it grows and can be wiped once the text was used: a job's
// information may hold the identification number.
class WipingPrinter : public tinyxml2::XMLPrinter {
  public:
    WipingPrinter() = default;
    ~WipingPrinter() override { platform::WipeText(m_text); }

    // The text so far; the printer keeps none of it.
    std::string TakeText() { return std::move(m_text); }

  protected:
    void Print(const char* format, ...) override {
        std::va_list arguments;
        va_start(arguments, format);
        std::va_list measuring;
        va_copy(measuring, arguments);
        const int length = std::vsnprintf(nullptr, 0, format, measuring);
        va_end(measuring);
        if (length > 0) {
            std::string text(static_cast<std::size_t>(length) + 1, '\0');
            std::vsnprintf(text.data(), text.size(), format, arguments);
            Write(text.data(), static_cast<std::size_t>(length));
            platform::WipeText(text);
        }
        va_end(arguments);
    }
    void Write(const char* data, std::size_t size) override {
        if (m_text.size() + size > m_text.capacity()) Grow(m_text.size() + size);
        m_text.append(data, size);
    }
    void Putc(char ch) override { Write(&ch, 1); }

  private:
    void Grow(std::size_t needed) {
        std::string bigger;
        bigger.reserve(std::max(needed, 2 * m_text.capacity()));
        bigger.assign(m_text);
        platform::WipeText(m_text);
        m_text.swap(bigger);
    }

    std::string m_text;
};

}  // namespace

std::string BuildJobInfoDocument(const ParamMap& jobInformation,
                                 std::vector<std::u16string_view>* leftOutKeys) {
    // The printer writes what the library's document save would, in the same
    // order, straight from the entries: no document keeps copies of them.
    WipingPrinter printer;
    // The library's default declaration with the encoding the bytes are
    // really in: the same text where the ANSI code page is UTF-8.
    const std::string declaration =
        "xml version=\"1.0\" encoding=\"" + platform::AnsiCodePageEncodingName() + "\"";
    printer.PushDeclaration(declaration.c_str());
    printer.OpenElement(kJobInfoRootElement);
    for (const auto& [key, value] : jobInformation) {
        const std::string name = WideToAnsi(key);
        // The library would write any name unchanged and so make the whole
        // file unreadable; such an entry is dropped instead.
        if (!IsWrittenAsXmlName(key, name)) {
            if (leftOutKeys) leftOutKeys->push_back(key);
            continue;
        }
        printer.OpenElement(name.c_str());
        std::u16string characters = XmlCharactersOnly(value);
        std::string text = WideToAnsi(characters);
        platform::WipeText(characters);
        printer.PushText(text.c_str());
        platform::WipeText(text);
        printer.CloseElement();
    }
    printer.CloseElement();
    return printer.TakeText();
}

platform::ErrorCode WriteJobInfo(std::u16string_view jobFilePath, const char16_t* text,
                                 std::size_t length) {
    ParamMap jobInformation;
    ParseParamText(text, static_cast<std::uint32_t>(length), jobInformation);
    std::vector<std::u16string_view> leftOut;
    std::string document = BuildJobInfoDocument(jobInformation, &leftOut);
    for (std::u16string_view key : leftOut) {
        DebugPrint(u"[PI] Job information key is not an XML name, left out: %s", key);
    }
    WipeParams(jobInformation);
    const platform::ErrorCode error =
        platform::PublishTextFile(JobInfoPathFor(jobFilePath), document);
    platform::WipeText(document);
    return error;
}

}  // namespace mossvane
