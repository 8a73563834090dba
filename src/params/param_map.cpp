#include "params/param_map.h"

#include "params/text_conversion.h"
#include "platform/wipe.h"

namespace mossvane {

std::u16string GetCommandUpperCase(const ParamMap& set) {
    std::u16string command = GetParam(set, kCommandKey);
    for (char16_t& c : command) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return command;
}

void SetCommand(ParamMap& set, const char16_t* name) {
    set.insert_or_assign(std::u16string(kCommandKey), std::u16string(name ? name : u""));
}

void WipeParams(ParamMap& set) {
    // A node taken out of the map lends its key for writing too.
    while (!set.empty()) {
        auto node = set.extract(set.begin());
        platform::WipeText(node.key());
        platform::WipeText(node.mapped());
    }
}

std::u16string GetParam(const ParamMap& set, std::u16string_view key) {
    const auto entry = set.find(key);
    if (entry == set.end()) return {};
    return entry->second;
}

std::u16string GetSectionParam(const SectionParamMap& sections, std::u16string_view section,
                               std::u16string_view key, std::u16string_view defaultValue) {
    const auto found = sections.find(section);
    if (found == sections.end()) return std::u16string(defaultValue);
    const auto entry = found->second.find(key);
    if (entry == found->second.end()) return std::u16string(defaultValue);
    return entry->second;
}

void SetSectionParam(SectionParamMap& sections, std::u16string_view section,
                     std::u16string_view key, std::u16string_view value) {
    auto found = sections.find(section);
    if (found == sections.end()) {
        sections.emplace(std::u16string(section),
                         ParamMap{{std::u16string(key), std::u16string(value)}});
        return;
    }
    found->second.insert_or_assign(std::u16string(key), std::u16string(value));
}

void SetSectionParam(SectionParamMap& sections, const char* section, const char* key,
                     const char* value) {
    SetSectionParam(sections, AnsiToWide(section), AnsiToWide(key), AnsiToWide(value));
}

}  // namespace mossvane
