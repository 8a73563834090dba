// A base for whatever shows localized texts: it holds the text provider and
// falls back to the caller's default text when there is none.
#pragma once

#include <string>
#include <string_view>

#include "l10n/localize_provider.h"
#include "l10n/text_keys.h"

namespace mossvane {

class LocalizeConsumer {
  public:
    // Uses the program's localizer (GetLocalizer), or none when it can't be
    // created.
    LocalizeConsumer();
    // Uses `provider`, which must outlive this object; null for none.
    explicit LocalizeConsumer(ILocalizeProvider* provider) : m_pProvider(provider) {}

    // The provider's lookup. Without a provider `text` becomes `defaultText`
    // when one is given, and the result is false.
    bool GetLocalizedText(std::u16string_view key, std::u16string& text,
                          const char16_t* defaultText) const;

    // The text for `key`, or `defaultText` (empty when null) when the key is
    // not found or there is no provider.
    std::u16string GetLocalizedString(std::u16string_view key, const char16_t* defaultText) const;
    std::u16string GetLocalizedString(const LocalizedText& text) const {
        return GetLocalizedString(text.key, text.defaultText);
    }

  protected:
    ILocalizeProvider* m_pProvider;
};

}  // namespace mossvane
