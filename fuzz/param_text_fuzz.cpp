// Feeds arbitrary bytes, read as little-endian UTF-16 code units, to the
// parameter text parser and checks what must hold for every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "params/param_text.h"

namespace {

using mossvane::fuzz::CodeUnits;
using mossvane::fuzz::Require;

using mossvane::ParamMap;

ParamMap Parse(const std::u16string& text) {
    ParamMap set;
    Require(mossvane::ParseParamText(text.data(), static_cast<std::uint32_t>(text.size()), set));
    return set;
}

// The grammar in its most direct form, written independently of the reader:
// drop every CR, split at LF, keep the lines that contain "=".
ParamMap ModelParse(std::u16string text) {
    std::erase(text, u'\r');
    ParamMap set;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        const std::u16string_view line(text.data() + start, end - start);
        const std::size_t separator = line.find(u'=');
        if (separator != std::u16string_view::npos) {
            set[std::u16string(line.substr(0, separator))] = line.substr(separator + 1);
        }
        start = end + 1;
    }
    return set;
}

bool HasLineBreak(std::u16string_view text) {
    return text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = CodeUnits(data, size);

    // Parsing replaces whatever the set held before.
    ParamMap set{{u"\xFFFF stale", u"entry"}};
    Require(mossvane::ParseParamText(text.data(), static_cast<std::uint32_t>(text.size()), set));
    Require(set == ModelParse(text));

    for (const auto& [key, value] : set) {
        Require(key.find(u'=') == std::u16string::npos);
        Require(!HasLineBreak(key) && !HasLineBreak(value));
    }

    // A parsed set always meets the round-trip condition, so it must survive
    // formatting and parsing unchanged.
    const std::u16string formatted = mossvane::FormatParamText(set);
    Require(formatted.find(u'\r') == std::u16string::npos);
    Require(Parse(formatted) == set);

    // A shorter length reads a prefix and nothing past it.
    const std::size_t half = text.size() / 2;
    ParamMap prefix;
    Require(mossvane::ParseParamText(text.data(), static_cast<std::uint32_t>(half), prefix));
    Require(prefix == ModelParse(text.substr(0, half)));
    return 0;
}
