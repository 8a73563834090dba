// The program's localizer: the localization file and the language library
// beside the executable, and the single instance every thread shares.
#pragma once

#include "l10n/localizer.h"

namespace mossvane {

class MyLocalizer : public Localizer {
  public:
    // Chooses the language: "CntCode" of the machine, the language library,
    // or the user's UI language.
    MyLocalizer();

    // localization.xml beside the program; one file holds every language.
    std::u16string GetTextFilePath(std::u16string_view languageCode) const override;
    // The language library beside the program.
    std::u16string GetLanguageLibraryPath() const override;
};

// The single localizer, created on the first call from any thread. Null when
// it could not be created; a later call tries again. It lives until the
// process ends.
ILocalizeProvider* GetLocalizer();

}  // namespace mossvane
