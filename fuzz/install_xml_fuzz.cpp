// Parses arbitrary bytes as an install settings file and walks the document
// with the XML-to-parameter converter, checking the result against a plain
// recursive walk over the same document.
#include <tinyxml2.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "params/text_conversion.h"
#include "params/xml_to_param.h"

namespace {

using mossvane::fuzz::Require;

using mossvane::SectionParamMap;

const char* LeadingText(const tinyxml2::XMLElement& element) {
    const tinyxml2::XMLNode* first = element.FirstChild();
    return first != nullptr && first->ToText() != nullptr ? first->Value() : nullptr;
}

// Everything below a section element: each element's key is its path below
// the section, and it counts when its first child is a text.
void ModelBelowSection(const tinyxml2::XMLElement& parent, const std::string& prefix,
                       const std::u16string& section, SectionParamMap& out) {
    for (const tinyxml2::XMLElement* child = parent.FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
        const std::string key = prefix + child->Name();
        if (const char* text = LeadingText(*child)) {
            out[section][mossvane::AnsiToWide(key.c_str())] = mossvane::Utf8ToWide(text);
        }
        ModelBelowSection(*child, key + "/", section, out);
    }
}

SectionParamMap Model(const tinyxml2::XMLElement& root) {
    SectionParamMap out;
    for (const tinyxml2::XMLElement* section = root.FirstChildElement(); section != nullptr;
         section = section->NextSiblingElement()) {
        const std::u16string name = mossvane::AnsiToWide(section->Name());
        for (const tinyxml2::XMLAttribute* attribute = section->FirstAttribute();
             attribute != nullptr; attribute = attribute->Next()) {
            const std::string key = std::string("@") + attribute->Name();
            out[name][mossvane::AnsiToWide(key.c_str())] = mossvane::AnsiToWide(attribute->Value());
        }
        ModelBelowSection(*section, "", name, out);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The install step reads the file into a buffer one zero byte longer.
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    tinyxml2::XMLDocument document;
    document.Parse(text.data());
    const tinyxml2::XMLElement* root = document.FirstChildElement();

    mossvane::XML2Param2 converter;
    if (root == nullptr) {
        Require(converter.params.empty());
        return 0;
    }
    root->Accept(&converter);
    Require(converter.params == Model(*root));

    // A second walk of the same document adds nothing new: the converter is
    // back at the top level after the first.
    const SectionParamMap first = converter.params;
    root->Accept(&converter);
    Require(converter.params == first);

    for (const auto& [section, entries] : converter.params) {
        Require(!section.empty() && !entries.empty());
        for (const auto& [key, value] : entries) {
            Require(!key.empty() && key.front() != u'/' && key.back() != u'/');
        }
    }
    return 0;
}
