// A stand-in for the companion language library. Tests load the same file
// themselves, set the list it offers and the result it returns through the
// extra exports, and read back how it was called.
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint32_t kBufferUnits = 512;

char16_t g_list[kBufferUnits];
std::uint32_t g_listUnits = 0;
std::int32_t g_result = 0;

std::uint32_t g_lastRequest = 0;
std::int32_t g_lastBufferWasZeroFilled = 0;
std::int32_t g_callCount = 0;

}  // namespace

extern "C" {

// Writes the list it was given (even when told to fail, so a failure with
// a usable list in the buffer can be checked) and returns the set result.
std::int32_t GetPreferredUILanguagesListW(std::uint32_t request, char16_t* buffer) {
    ++g_callCount;
    g_lastRequest = request;
    g_lastBufferWasZeroFilled = 1;
    for (std::uint32_t i = 0; i < kBufferUnits; ++i) {
        if (buffer[i] != 0) g_lastBufferWasZeroFilled = 0;
    }
    std::memcpy(buffer, g_list, g_listUnits * sizeof(char16_t));
    return g_result;
}

// Sets the next answer: `units` code units of `list` (copied as they are,
// without adding a null) and the result to return.
void FakeSetLanguageList(const char16_t* list, std::uint32_t units, std::int32_t result) {
    g_listUnits = units < kBufferUnits ? units : kBufferUnits;
    std::memcpy(g_list, list, g_listUnits * sizeof(char16_t));
    g_result = result;
}

std::uint32_t FakeLastRequest() {
    return g_lastRequest;
}
std::int32_t FakeLastBufferWasZeroFilled() {
    return g_lastBufferWasZeroFilled;
}
std::int32_t FakeCallCount() {
    return g_callCount;
}

}  // extern "C"
