// A loadable library that lacks the language list export, for the tests of
// what happens when the companion library is the wrong one.
#include <cstdint>

extern "C" std::int32_t SomethingElseEntirely(std::int32_t value) {
    return value + 1;
}
