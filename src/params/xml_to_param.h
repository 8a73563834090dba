// Turns an XML document into a sectioned parameter set: every element right
// below the root is a section, its attributes become "@"-prefixed entries and
// the text of every deeper element an entry keyed by its path below the
// section, joined with "/". The install settings file is read this way.
#pragma once

#include <tinyxml2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "params/param_map.h"

namespace mossvane {

// Walked by TinyXML-2: the owner passes it to the root element's Accept and
// reads params afterwards. One converter serves one walk.
class XML2Param2 : public tinyxml2::XMLVisitor {
  public:
    XML2Param2() = default;

    bool VisitEnter(const tinyxml2::XMLElement& element,
                    const tinyxml2::XMLAttribute* firstAttribute) override;
    bool VisitExit(const tinyxml2::XMLElement& element) override;

    // The result.
    SectionParamMap params;

  private:
    // Names of the open elements below the current section, outermost first.
    std::vector<std::string> path;
    // The level of the element being entered: 0 for the root, 1 for a section.
    std::int32_t depth = 0;
    // The most recently entered section; kept after the section is left.
    std::string section;
};

}  // namespace mossvane
