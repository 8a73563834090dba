#include "app/command_scan.h"

#include "platform/characters.h"

namespace mossvane {

namespace {

bool EndsWord(char16_t c) {
    return c == u'\0' || c == u' ' || c == u'\t';
}

}  // namespace

const char16_t* FindOneOf(const char16_t* text, std::u16string_view set) {
    if (text == nullptr) return nullptr;
    for (const char16_t* at = text; *at != u'\0'; at = platform::NextCharacter(at)) {
        if (set.find(*at) != std::u16string_view::npos) return platform::NextCharacter(at);
    }
    return nullptr;
}

bool WordEquals(const char16_t* word, std::u16string_view keyword) {
    for (std::size_t i = 0;; ++i) {
        const bool wordEnded = EndsWord(word[i]);
        const bool keywordEnded = i == keyword.size();
        if (wordEnded || keywordEnded) return wordEnded && keywordEnded;
        if (platform::UpperCaseCharacter(word[i]) != platform::UpperCaseCharacter(keyword[i])) {
            return false;
        }
    }
}

}  // namespace mossvane
