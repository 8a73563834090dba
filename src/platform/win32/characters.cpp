// Character stepping and case on Windows: CharNextW and CharUpperW, which
// takes a single character in the low word of its pointer argument.
#include "platform/characters.h"

#include <cstdint>

#include "platform/win32/windows_include.h"

namespace mossvane::platform {

const char16_t* NextCharacter(const char16_t* text) {
    return reinterpret_cast<const char16_t*>(CharNextW(reinterpret_cast<LPCWSTR>(text)));
}

char16_t UpperCaseCharacter(char16_t c) {
    auto result = reinterpret_cast<std::uintptr_t>(
        CharUpperW(reinterpret_cast<LPWSTR>(static_cast<std::uintptr_t>(c))));
    return static_cast<char16_t>(result & 0xFFFF);
}

}  // namespace mossvane::platform
