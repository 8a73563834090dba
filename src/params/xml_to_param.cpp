#include "params/xml_to_param.h"

#include "params/text_conversion.h"

namespace mossvane {

namespace {

constexpr char kAttributeKeyPrefix[] = "@";
constexpr char kPathSeparator[] = "/";

// The element's text is that of its first child when that child is a text
// node. The library's own GetText of late versions looks past leading
// comments; a settings file means the same to every version of the program
// only if a comment in front of a text hides it, as it always did.
const char* LeadingText(const tinyxml2::XMLElement& element) {
    const tinyxml2::XMLNode* first = element.FirstChild();
    if (first == nullptr || first->ToText() == nullptr) return nullptr;
    return first->Value();
}

}  // namespace

bool XML2Param2::VisitEnter(const tinyxml2::XMLElement& element,
                            const tinyxml2::XMLAttribute* firstAttribute) {
    // The root's name, attributes and text mean nothing; only what lies
    // below it is read.
    if (depth <= 0) {
        ++depth;
        return true;
    }
    const char* name = element.Name();
    if (depth == 1) {
        section = name;
        for (const tinyxml2::XMLAttribute* attribute = firstAttribute; attribute != nullptr;
             attribute = attribute->Next()) {
            const std::string key = std::string(kAttributeKeyPrefix) + attribute->Name();
            SetSectionParam(params, section.c_str(), key.c_str(), attribute->Value());
        }
    } else {
        std::string key;
        for (const std::string& outer : path) key += outer + kPathSeparator;
        key += name;
        if (const char* text = LeadingText(element)) {
            SetSectionParam(params, AnsiToWide(section.c_str()), AnsiToWide(key.c_str()),
                            Utf8ToWide(text));
        }
        path.emplace_back(name);
    }
    ++depth;
    return true;
}

bool XML2Param2::VisitExit(const tinyxml2::XMLElement& /*element*/) {
    --depth;
    // Leaving the root or a section: nothing was added to the path for it.
    if (depth <= 1) return true;
    if (!path.empty()) path.pop_back();
    return true;
}

}  // namespace mossvane
