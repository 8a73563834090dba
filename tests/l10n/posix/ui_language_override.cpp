// UiLanguageOverride on POSIX: the four locale variables, restored afterwards.
#include "ui_language_override.h"

#include <stdlib.h>

namespace mossvane::test {
namespace {

constexpr std::array<const char*, 4> kNames{"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

void SetOrUnset(const char* name, const char* value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

}  // namespace

bool UiLanguageOverride::IsSupported() {
    return true;
}

UiLanguageOverride::UiLanguageOverride(const LocaleVariables& variables) {
    const std::array<const char*, 4> values{variables.language, variables.lcAll,
                                            variables.lcMessages, variables.lang};
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (const char* old = getenv(kNames[i]); old != nullptr) m_previous[i] = old;
        SetOrUnset(kNames[i], values[i]);
    }
}

UiLanguageOverride::UiLanguageOverride(const char* lang)
    : UiLanguageOverride(LocaleVariables{.lang = lang}) {}

UiLanguageOverride::~UiLanguageOverride() {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        SetOrUnset(kNames[i], m_previous[i] ? m_previous[i]->c_str() : nullptr);
    }
}

}  // namespace mossvane::test
