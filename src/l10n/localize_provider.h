// The interface through which the program's windows and messages get their
// texts.
#pragma once

#include <string>
#include <string_view>

namespace mossvane {

class ILocalizeProvider {
  public:
    virtual ~ILocalizeProvider() = default;

    // Looks `key` up. Found: `text` becomes its text and the result is true.
    // Not found: `text` becomes `defaultText` when one is given (not null)
    // and is left as it is otherwise; the result is false.
    virtual bool Translate(std::u16string_view key, std::u16string& text,
                           const char16_t* defaultText) = 0;

    // The language code, as SetLanguage or the choice of language left it.
    virtual std::u16string GetLanguage() const = 0;

    // Whether the language is written right to left.
    virtual bool IsRightToLeft() const = 0;

    // Sets the language code (lower-cased); false when `code` is null. Only a
    // change before the first Translate affects the texts.
    virtual bool SetLanguage(const char16_t* code) = 0;
};

}  // namespace mossvane
