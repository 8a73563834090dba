#include "l10n/localize_consumer.h"

#include "l10n/my_localizer.h"

namespace mossvane {

LocalizeConsumer::LocalizeConsumer() : m_pProvider(GetLocalizer()) {}

bool LocalizeConsumer::GetLocalizedText(std::u16string_view key, std::u16string& text,
                                        const char16_t* defaultText) const {
    if (m_pProvider != nullptr) return m_pProvider->Translate(key, text, defaultText);
    if (defaultText != nullptr) text = defaultText;
    return false;
}

std::u16string LocalizeConsumer::GetLocalizedString(std::u16string_view key,
                                                    const char16_t* defaultText) const {
    std::u16string text;
    GetLocalizedText(key, text, defaultText);
    return text;
}

}  // namespace mossvane
