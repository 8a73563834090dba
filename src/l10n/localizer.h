// The text provider: a table of one language's texts, read from the
// localization file on the first lookup and only read from afterwards.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "l10n/localization_file.h"
#include "l10n/localize_provider.h"

class TiXmlDocument;

namespace mossvane {

class Localizer : public ILocalizeProvider {
  public:
    Localizer();
    ~Localizer() override;
    Localizer(const Localizer&) = delete;
    Localizer& operator=(const Localizer&) = delete;

    bool Translate(std::u16string_view key, std::u16string& text,
                   const char16_t* defaultText) override;
    std::u16string GetLanguage() const override;
    bool IsRightToLeft() const override;
    bool SetLanguage(const char16_t* code) override;

    // The localization file for `languageCode`.
    virtual std::u16string GetTextFilePath(std::u16string_view languageCode) const = 0;
    // The companion library that lists the user's preferred languages.
    virtual std::u16string GetLanguageLibraryPath() const = 0;

  protected:
    // Picks the language a new localizer starts with: the machine's
    // "CntCode" value when it has one, else what DetectLanguage finds. Runs
    // in the constructor of the concrete class, once its paths are usable.
    void ChooseLanguage();

    // The first code of the language library's list whose localization file
    // exists, else the code for the user's UI language. Always succeeds on
    // this platform; false would mean no code at all.
    bool DetectLanguage(std::u16string& code) const;

    // The first code of the list the library at `libraryPath` offers whose
    // localization file exists (unchanged, not lower-cased); false when the
    // library is missing, unusable or offers none.
    bool LanguageFromLibrary(const std::u16string& libraryPath, std::u16string& code) const;

  private:
    void EnsureLoaded();
    bool Load();
    bool LoadDocument(const std::u16string& path);
    void SetLanguageCode(std::u16string code);

    TextTable m_table;
    // Set once the one load has run, whatever it achieved. The load itself
    // runs under m_loadLock, so a thread that finds the flag set sees the
    // whole table and no lookup ever overlaps the filling.
    std::atomic<bool> m_loadAttempted{false};
    std::mutex m_loadLock;
    std::unique_ptr<TiXmlDocument> m_document;

    mutable std::mutex m_languageLock;
    std::u16string m_language;
};

}  // namespace mossvane
