// UiLanguageOverride on Windows: the UI language is the system's, fixed for
// the process, so the override changes nothing.
#include "ui_language_override.h"

namespace mossvane::test {

bool UiLanguageOverride::IsSupported() {
    return false;
}

UiLanguageOverride::UiLanguageOverride(const LocaleVariables& /*variables*/) {}

UiLanguageOverride::UiLanguageOverride(const char* /*lang*/) {}

UiLanguageOverride::~UiLanguageOverride() = default;

}  // namespace mossvane::test
