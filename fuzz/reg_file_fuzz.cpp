// Feeds arbitrary bytes to the .reg hive reader. Whatever it accepts must
// survive a round trip: written out and read back, the hive is the same,
// key for key and byte for byte, and writing it again gives the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "platform/posix/reg_file.h"

namespace {

using mossvane::fuzz::Require;

using mossvane::platform::posix::RegFile;

bool SameHive(const RegFile& a, const RegFile& b) {
    if (a.sections.size() != b.sections.size()) return false;
    for (std::size_t i = 0; i < a.sections.size(); ++i) {
        const auto& left = a.sections[i];
        const auto& right = b.sections[i];
        if (left.path != right.path || left.values.size() != right.values.size()) return false;
        for (std::size_t v = 0; v < left.values.size(); ++v) {
            if (left.values[v].name != right.values[v].name ||
                left.values[v].value.type != right.values[v].value.type ||
                left.values[v].value.data != right.values[v].value.data) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    RegFile file;
    if (!mossvane::platform::posix::ParseRegFile(bytes, file)) return 0;
    std::string text;
    // Names the reader produced came from the file, so they can be written.
    Require(mossvane::platform::posix::FormatRegFile(file, text));
    RegFile again;
    Require(mossvane::platform::posix::ParseRegFile(text, again));
    Require(SameHive(file, again));
    std::string textAgain;
    Require(mossvane::platform::posix::FormatRegFile(again, textAgain));
    Require(text == textAgain);
    return 0;
}
