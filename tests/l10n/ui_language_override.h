// Points the user's UI language at a chosen locale for the lifetime of the
// object, where the environment decides it (POSIX). On Windows the system
// decides, so nothing changes there and tests that need a particular
// language skip themselves.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace mossvane::test {

// The variables that choose the language of messages, each null for unset.
struct LocaleVariables {
    const char* language = nullptr;    // LANGUAGE
    const char* lcAll = nullptr;       // LC_ALL
    const char* lcMessages = nullptr;  // LC_MESSAGES
    const char* lang = nullptr;        // LANG
};

class UiLanguageOverride {
  public:
    // Whether the environment steers the UI language on this platform.
    static bool IsSupported();

    explicit UiLanguageOverride(const LocaleVariables& variables);
    // Shorthand for LANG alone, the other three unset.
    explicit UiLanguageOverride(const char* lang);
    ~UiLanguageOverride();
    UiLanguageOverride(const UiLanguageOverride&) = delete;
    UiLanguageOverride& operator=(const UiLanguageOverride&) = delete;

  private:
    std::array<std::optional<std::string>, 4> m_previous;
};

}  // namespace mossvane::test
