#include "l10n/language_code.h"

#include <algorithm>

#include "l10n/l10n_constants.h"
#include "platform/ui_language.h"

namespace mossvane {
namespace {

constexpr std::uint16_t kPrimaryLanguageMask = 0x03FF;
constexpr int kSubLanguageShift = 10;

// Primary languages (the low 10 bits of a language id) and sub-languages
// whose codes are not simply one per primary language.
constexpr std::uint16_t kLangChinese = 0x04;
constexpr std::uint16_t kLangPortuguese = 0x16;
constexpr std::uint16_t kSubLangChineseTraditional = 1;
constexpr std::uint16_t kSubLangPortugueseBrazilian = 1;
constexpr std::uint16_t kSubLangPortuguese = 2;

struct PrimaryLanguageCode {
    std::uint16_t primaryLanguage;
    const char16_t* code;
};

constexpr PrimaryLanguageCode kPrimaryLanguageCodes[] = {
    {0x01, u"AB"}, {0x05, u"CZ"}, {0x06, u"DN"}, {0x07, u"GR"}, {0x08, u"EL"},
    {0x09, u"EN"}, {0x0A, u"SP"}, {0x0B, u"FI"}, {0x0C, u"FN"}, {0x0D, u"HB"},
    {0x0E, u"HU"}, {0x10, u"IT"}, {0x12, u"KR"}, {0x13, u"DT"}, {0x14, u"NR"},
    {0x15, u"PO"}, {0x19, u"RU"}, {0x1D, u"SW"}, {0x1F, u"TK"},
};

constexpr char16_t AsciiLower(char16_t unit) {
    return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

std::u16string PortugueseCode(std::uint16_t subLanguage) {
    if (subLanguage == kSubLangPortugueseBrazilian) return u"BP";
    if (subLanguage == kSubLangPortuguese) return u"PT";
    return {};
}

}  // namespace

std::u16string ToLowerLanguageCode(std::u16string_view code) {
    std::u16string lower(code);
    std::transform(lower.begin(), lower.end(), lower.begin(), AsciiLower);
    return lower;
}

bool EqualsIgnoringCase(std::u16string_view left, std::u16string_view right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(),
                      [](char16_t a, char16_t b) { return AsciiLower(a) == AsciiLower(b); });
}

std::vector<std::u16string> SplitLanguageList(std::u16string_view list) {
    std::vector<std::u16string> codes;
    while (!list.empty()) {
        const std::size_t end = std::min(list.find(l10n::kLanguageListSeparator), list.size());
        if (end > 0) codes.emplace_back(list.substr(0, end));
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return codes;
}

bool IsRightToLeftLanguage(std::u16string_view code) {
    return EqualsIgnoringCase(code, u"AB") || EqualsIgnoringCase(code, u"HB");
}

std::u16string LanguageCodeFromLangId(std::uint16_t languageId) {
    const std::uint16_t primary = languageId & kPrimaryLanguageMask;
    const std::uint16_t subLanguage = languageId >> kSubLanguageShift;
    if (primary == kLangChinese) return subLanguage == kSubLangChineseTraditional ? u"CT" : u"CP";
    if (primary == kLangPortuguese) return PortugueseCode(subLanguage);
    for (const PrimaryLanguageCode& entry : kPrimaryLanguageCodes) {
        if (entry.primaryLanguage == primary) return entry.code;
    }
    return l10n::kDefaultLanguageCode;
}

std::u16string LanguageFromUserUILanguage() {
    return LanguageCodeFromLangId(platform::GetUserDefaultUILanguage());
}

}  // namespace mossvane
