#include "pipe/job_info.h"

#include <tinyxml2.h>

#include "log/debug_print.h"
#include "params/param_text.h"
#include "params/text_conversion.h"
#include "pipe/job_file.h"
#include "platform/codepage.h"
#include "platform/spool_files.h"
#include "platform/utf8.h"

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

std::string BuildJobInfoDocument(const ParamMap& jobInformation) {
    tinyxml2::XMLDocument document;
    // The library's default declaration with the encoding the bytes are
    // really in: the same text where the ANSI code page is UTF-8.
    const std::string declaration =
        "xml version=\"1.0\" encoding=\"" + platform::AnsiCodePageEncodingName() + "\"";
    document.InsertEndChild(document.NewDeclaration(declaration.c_str()));
    tinyxml2::XMLElement* root = document.NewElement(kJobInfoRootElement);
    for (const auto& [key, value] : jobInformation) {
        const std::string name = WideToAnsi(key);
        // The library would write any name unchanged and so make the whole
        // file unreadable; such an entry is dropped instead.
        if (!IsWrittenAsXmlName(key, name)) {
            DebugPrint(u"[PI] Job information key is not an XML name, left out: %s", key);
            continue;
        }
        tinyxml2::XMLElement* child = document.NewElement(name.c_str());
        const std::string text = WideToAnsi(XmlCharactersOnly(value));
        child->InsertEndChild(document.NewText(text.c_str()));
        root->InsertEndChild(child);
    }
    document.InsertEndChild(root);
    tinyxml2::XMLPrinter printer;
    document.Print(&printer);
    // CStrSize counts the terminator.
    return std::string(printer.CStr(), static_cast<std::size_t>(printer.CStrSize() - 1));
}

platform::ErrorCode WriteJobInfo(std::u16string_view jobFilePath, const char16_t* text,
                                 std::size_t length) {
    ParamMap jobInformation;
    ParseParamText(text, static_cast<std::uint32_t>(length), jobInformation);
    return platform::PublishTextFile(JobInfoPathFor(jobFilePath),
                                     BuildJobInfoDocument(jobInformation));
}

}  // namespace mossvane
