// Feeds arbitrary bytes to the localization file reader and fills the text
// table from it, checking the table against a direct walk of the document:
// for each "Msg" child of the root in the language, with an "Id" and a "Val"
// that start with text, the last such entry of a key gives its text.
#include <tinyxml.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "l10n/language_code.h"
#include "l10n/localization_file.h"
#include "params/text_conversion.h"

namespace {

using mossvane::fuzz::Require;

const char* LeadingText(const TiXmlElement& message, const char* name) {
    const TiXmlElement* child = message.FirstChildElement(name);
    if (child == nullptr || child->FirstChild() == nullptr) return nullptr;
    const TiXmlText* text = child->FirstChild()->ToText();
    if (text == nullptr || text->Value() == nullptr || *text->Value() == '\0') return nullptr;
    return text->Value();
}

mossvane::TextTable ModelTable(const TiXmlDocument& document, const std::string& language) {
    mossvane::TextTable table;
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr) return table;
    for (const TiXmlNode* node = root->FirstChild(); node != nullptr; node = node->NextSibling()) {
        const TiXmlElement* message = node->ToElement();
        if (message == nullptr || std::string(message->Value()) != "Msg") continue;
        const char* ln = message->Attribute("LN");
        if (ln == nullptr ||
            !mossvane::EqualsIgnoringCase(mossvane::Utf8ToWide(ln),
                                          mossvane::Utf8ToWide(language.c_str()))) {
            continue;
        }
        const char* id = LeadingText(*message, "Id");
        const char* value = LeadingText(*message, "Val");
        if (id == nullptr || value == nullptr) continue;
        const char* group = message->Attribute("GR");
        std::u16string key =
            mossvane::Utf8ToWide(group ? group : "") + u"/" + mossvane::Utf8ToWide(id);
        table[key] = mossvane::Utf8ToWide(value);
    }
    return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TiXmlDocument document;
    mossvane::ParseLocalizationText(std::string_view(reinterpret_cast<const char*>(data), size),
                                    document);
    for (const std::string language : {"EN", "kr"}) {
        mossvane::TextTable table;
        mossvane::FillTextTable(document, mossvane::Utf8ToWide(language.c_str()), table);
        Require(table == ModelTable(document, language));
        if (!table.empty()) {
            Require(mossvane::HasLanguageEntry(document, mossvane::Utf8ToWide(language.c_str())));
        }
    }
    return 0;
}
