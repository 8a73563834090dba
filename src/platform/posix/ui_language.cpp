// Stands in for GetUserDefaultUILanguage: the locale environment variables
// that choose the language of messages, in the order the C library consults
// them, mapped from ISO 639 codes to Windows language identifiers. Only
// Chinese and Portuguese look at the region, because only there does the
// sub-language decide which texts the program shows.
#include "platform/ui_language.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace mossvane::platform {
namespace {

struct LanguageId {
    std::string_view code;
    std::uint16_t id;
};

// Each language with the identifier Windows gives its main country.
constexpr LanguageId kLanguages[] = {
    {"ar", 0x0401}, {"bg", 0x0402}, {"ca", 0x0403}, {"zh", 0x0804}, {"cs", 0x0405}, {"da", 0x0406},
    {"de", 0x0407}, {"el", 0x0408}, {"en", 0x0409}, {"es", 0x0C0A}, {"fi", 0x040B}, {"fr", 0x040C},
    {"he", 0x040D}, {"iw", 0x040D}, {"hu", 0x040E}, {"is", 0x040F}, {"it", 0x0410}, {"ja", 0x0411},
    {"ko", 0x0412}, {"nl", 0x0413}, {"nb", 0x0414}, {"no", 0x0414}, {"nn", 0x0814}, {"pl", 0x0415},
    {"pt", 0x0816}, {"ro", 0x0418}, {"ru", 0x0419}, {"hr", 0x041A}, {"sk", 0x041B}, {"sq", 0x041C},
    {"sv", 0x041D}, {"th", 0x041E}, {"tr", 0x041F}, {"id", 0x0421}, {"uk", 0x0422}, {"sl", 0x0424},
    {"et", 0x0425}, {"lv", 0x0426}, {"lt", 0x0427}, {"vi", 0x042A},
};

struct RegionalId {
    std::string_view code;
    std::string_view region;
    std::uint16_t id;
};

constexpr RegionalId kRegionalLanguages[] = {
    {"zh", "TW", 0x0404}, {"zh", "CN", 0x0804}, {"zh", "HK", 0x0C04}, {"zh", "SG", 0x1004},
    {"zh", "MO", 0x1404}, {"pt", "BR", 0x0416}, {"pt", "PT", 0x0816},
};

// Portuguese of a country Windows gives no sub-language of its own: the
// primary language with the neutral sub-language.
constexpr std::uint16_t kPortugueseNeutral = 0x0016;

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

// The first entry of LANGUAGE's colon-separated list of preferences,
// skipping empty ones as the C library does.
std::string_view FirstPreference(std::string_view list) {
    while (!list.empty() && list.front() == ':') list.remove_prefix(1);
    return list.substr(0, list.find(':'));
}

// The locale name that decides the language of messages, or empty.
std::string_view MessagesLocaleName() {
    if (const char* language = std::getenv("LANGUAGE"); language != nullptr) {
        const std::string_view first = FirstPreference(language);
        if (!first.empty()) return first;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return {};
}

std::uint16_t RegionalLanguageId(std::string_view code, std::string_view region) {
    const std::string upperRegion = AsciiUpper(region);
    for (const RegionalId& entry : kRegionalLanguages) {
        if (entry.code == code && entry.region == upperRegion) return entry.id;
    }
    if (code == "pt" && !region.empty()) return kPortugueseNeutral;
    return 0;
}

// Maps "language[_REGION][.charset][@modifier]" (a hyphen may stand for
// the underscore) to a language identifier.
std::uint16_t LanguageIdFromLocaleName(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    const std::size_t separator = locale.find_first_of("_-");
    const std::string code = AsciiLower(locale.substr(0, separator));
    const std::string_view region =
        separator == std::string_view::npos ? std::string_view() : locale.substr(separator + 1);
    if (const std::uint16_t regional = RegionalLanguageId(code, region); regional != 0) {
        return regional;
    }
    for (const LanguageId& entry : kLanguages) {
        if (entry.code == code) return entry.id;
    }
    // "C", "POSIX" and every language Windows has no identifier for.
    return kLanguageIdEnglishUnitedStates;
}

}  // namespace

std::uint16_t GetUserDefaultUILanguage() {
    return LanguageIdFromLocaleName(MessagesLocaleName());
}

}  // namespace mossvane::platform
