#include "platform/ui_language.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>

#include "l10n/language_code.h"
#include "ui_language_override.h"

namespace mossvane {
namespace {

using test::LocaleVariables;
using test::UiLanguageOverride;

struct LocaleCase {
    const char* name;
    LocaleVariables variables;
    std::uint16_t languageId;
    const char16_t* code;  // the program's code for that language
};

class UserUILanguageTest : public ::testing::TestWithParam<LocaleCase> {
  protected:
    void SetUp() override {
        if (!UiLanguageOverride::IsSupported()) GTEST_SKIP() << "the system decides the language";
    }
};

TEST_P(UserUILanguageTest, FollowsTheMessagesLocale) {
    UiLanguageOverride language(GetParam().variables);
    EXPECT_EQ(platform::GetUserDefaultUILanguage(), GetParam().languageId);
    EXPECT_EQ(LanguageFromUserUILanguage(), GetParam().code);
}

// A case with LANG alone set, named after its value.
LocaleCase Lang(const char* lang, std::uint16_t id, const char16_t* code) {
    return {nullptr, LocaleVariables{.lang = lang}, id, code};
}

// Explicit names, or "Lang" and LANG's letters and digits.
std::string CaseName(const LocaleCase& param) {
    if (param.name != nullptr) return param.name;
    std::string name = "Lang";
    const char* lang = param.variables.lang;
    if (lang == nullptr) return name + "Unset";
    if (*lang == '\0') return name + "Empty";
    for (const char* c = lang; *c != '\0'; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
    }
    return name;
}

// Test names under CTest are built from this.
void PrintTo(const LocaleCase& param, std::ostream* out) {
    *out << CaseName(param);
}

INSTANTIATE_TEST_SUITE_P(
    EveryLanguageWithACode, UserUILanguageTest,
    ::testing::Values(Lang("ar_SA.UTF-8", 0x0401, u"AB"), Lang("zh_TW.UTF-8", 0x0404, u"CT"),
                      Lang("zh_CN.UTF-8", 0x0804, u"CP"), Lang("zh_HK", 0x0C04, u"CP"),
                      Lang("zh", 0x0804, u"CP"), Lang("cs_CZ.UTF-8", 0x0405, u"CZ"),
                      Lang("da_DK.UTF-8", 0x0406, u"DN"), Lang("de_DE.UTF-8", 0x0407, u"GR"),
                      Lang("de_AT@euro", 0x0407, u"GR"), Lang("el_GR.UTF-8", 0x0408, u"EL"),
                      Lang("en_GB.UTF-8", 0x0409, u"EN"), Lang("es_ES.UTF-8", 0x0C0A, u"SP"),
                      Lang("fi_FI.UTF-8", 0x040B, u"FI"), Lang("fr_CA.UTF-8", 0x040C, u"FN"),
                      Lang("he_IL.UTF-8", 0x040D, u"HB"), Lang("hu_HU.UTF-8", 0x040E, u"HU"),
                      Lang("it_IT.UTF-8", 0x0410, u"IT"), Lang("ko_KR.UTF-8", 0x0412, u"KR"),
                      Lang("nl_NL.UTF-8", 0x0413, u"DT"), Lang("nb_NO.UTF-8", 0x0414, u"NR"),
                      Lang("nn_NO.UTF-8", 0x0814, u"NR"), Lang("pl_PL.UTF-8", 0x0415, u"PO"),
                      Lang("pt_BR.UTF-8", 0x0416, u"BP"), Lang("pt_PT.UTF-8", 0x0816, u"PT"),
                      Lang("pt-br", 0x0416, u"BP"), Lang("ru_RU.UTF-8", 0x0419, u"RU"),
                      Lang("sv_SE.UTF-8", 0x041D, u"SW"), Lang("tr_TR.UTF-8", 0x041F, u"TK")));

INSTANTIATE_TEST_SUITE_P(LanguagesWithoutACode, UserUILanguageTest,
                         ::testing::Values(Lang("ja_JP.UTF-8", 0x0411, u"EN"),
                                           Lang("th_TH", 0x041E, u"EN"),
                                           Lang("pt_AO.UTF-8", 0x0016, u""),
                                           Lang("C", 0x0409, u"EN"), Lang("POSIX", 0x0409, u"EN"),
                                           Lang("C.UTF-8", 0x0409, u"EN"),
                                           Lang("xx_YY", 0x0409, u"EN"),
                                           Lang(nullptr, 0x0409, u"EN"), Lang("", 0x0409, u"EN")));

INSTANTIATE_TEST_SUITE_P(
    VariablesInOrderOfPrecedence, UserUILanguageTest,
    ::testing::Values(
        LocaleCase{"LanguageFirstEntryWins", {"fr:de", "es_ES", "it_IT", "ru_RU"}, 0x040C, u"FN"},
        LocaleCase{"EmptyLanguageIsSkipped", {"", "es_ES.UTF-8", "it_IT", "ru_RU"}, 0x0C0A, u"SP"},
        LocaleCase{"MessagesBeforeLang", {nullptr, nullptr, "it_IT.UTF-8", "ru_RU"}, 0x0410, u"IT"},
        LocaleCase{"EmptyLanguageEntriesAreSkipped",
                   {"::ko:de", nullptr, nullptr, "ru_RU"},
                   0x0412,
                   u"KR"},
        LocaleCase{"LanguageAlone", {"ko_KR:de", nullptr, nullptr, nullptr}, 0x0412, u"KR"},
        LocaleCase{"EmptyVariablesAreSkipped", {nullptr, "", "", "de_DE"}, 0x0407, u"GR"},
        LocaleCase{"CLocaleIsEnglish", {nullptr, "C", nullptr, "de_DE"}, 0x0409, u"EN"}));

}  // namespace
}  // namespace mossvane
