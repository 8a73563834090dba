#include "l10n/localization_file.h"

#include <tinyxml.h>

#include <optional>

#include "l10n/l10n_constants.h"
#include "l10n/language_code.h"
#include "params/text_conversion.h"
#include "platform/utf8.h"

namespace mossvane {
namespace {

const TiXmlElement* FirstMessage(const TiXmlDocument& document) {
    const TiXmlElement* root = document.RootElement();
    return root == nullptr ? nullptr : root->FirstChildElement(l10n::kMessageElement);
}

const TiXmlElement* NextMessage(const TiXmlElement* message) {
    return message->NextSiblingElement(l10n::kMessageElement);
}

bool IsOfLanguage(const TiXmlElement& message, std::u16string_view languageCode) {
    const char* language = message.Attribute(l10n::kLanguageAttribute);
    return language != nullptr && EqualsIgnoringCase(Utf8ToWide(language), languageCode);
}

// The text of the first child element `name`: its leading text or CDATA
// node. Missing, empty or starting with anything else gives nothing.
std::optional<std::u16string> ChildText(const TiXmlElement& message, const char* name) {
    const TiXmlElement* child = message.FirstChildElement(name);
    if (child == nullptr) return std::nullopt;
    const char* text = child->GetText();
    if (text == nullptr || *text == '\0') return std::nullopt;
    return Utf8ToWide(text);
}

// CR LF and a lone CR become LF.
std::string WithLineFeeds(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            result.push_back(text[i]);
            continue;
        }
        result.push_back('\n');
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    return result;
}

}  // namespace

bool ParseLocalizationText(std::string_view bytes, TiXmlDocument& document) {
    const std::string text = WithLineFeeds(platform::Utf16ToUtf8(platform::Utf8ToUtf16(bytes)));
    document.Clear();
    document.ClearError();
    document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    return !document.Error();
}

void FillTextTable(const TiXmlDocument& document, std::u16string_view languageCode,
                   TextTable& table) {
    for (const TiXmlElement* message = FirstMessage(document); message != nullptr;
         message = NextMessage(message)) {
        if (!IsOfLanguage(*message, languageCode)) continue;
        std::optional<std::u16string> id = ChildText(*message, l10n::kIdElement);
        std::optional<std::u16string> value = ChildText(*message, l10n::kValueElement);
        if (!id || !value) continue;
        // A missing group gives the empty one; the key is never split again,
        // so slashes inside the group or the id simply stay in it.
        std::u16string key = Utf8ToWide(message->Attribute(l10n::kGroupAttribute));
        key += l10n::kKeySeparator;
        key += *id;
        table.insert_or_assign(std::move(key), std::move(*value));
    }
}

bool HasLanguageEntry(const TiXmlDocument& document, std::u16string_view languageCode) {
    for (const TiXmlElement* message = FirstMessage(document); message != nullptr;
         message = NextMessage(message)) {
        if (IsOfLanguage(*message, languageCode)) return true;
    }
    return false;
}

}  // namespace mossvane
