// The user's default user-interface language straight from Windows.
#include "platform/ui_language.h"

#include "platform/win32/windows_include.h"

namespace mossvane::platform {

std::uint16_t GetUserDefaultUILanguage() {
    return ::GetUserDefaultUILanguage();
}

}  // namespace mossvane::platform
