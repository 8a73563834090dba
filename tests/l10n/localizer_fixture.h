// What the localizer tests share: a localizer whose files live in a
// temporary folder, and a fixture that controls everything it reads there,
// in the machine settings and from the stand-in language library.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "l10n/localizer.h"
#include "platform/shared_library.h"
#include "support/settings_sandbox.h"

namespace mossvane::test {

// Chooses its language as the program's localizer does, but finds the
// localization file and the language library in `folder`.
class FolderLocalizer : public Localizer {
  public:
    explicit FolderLocalizer(std::filesystem::path folder);

    std::u16string GetTextFilePath(std::u16string_view languageCode) const override;
    std::u16string GetLanguageLibraryPath() const override;

    using Localizer::DetectLanguage;
    using Localizer::LanguageFromLibrary;

    // How often the localization file's path was asked for since the
    // language was chosen: once per load.
    int TextFileLookups() const { return m_textFileLookups.load(); }

  private:
    std::filesystem::path m_folder;
    mutable std::atomic<int> m_textFileLookups{0};
};

// A file with English, Korean and French entries: "PI/OK" in all three,
// "PI/Cancel" in English and Korean, "PI/OnlyEnglish" in English alone.
extern const char kThreeLanguageFile[];
inline constexpr char16_t kKoreanOk[] = u"\uD655\uC778";
inline constexpr char16_t kKoreanCancel[] = u"\uCDE8\uC18C";
inline constexpr char16_t kFrenchOk[] = u"D'accord";
inline constexpr char16_t kEnglishOk[] = u"OK!";

class LocalizerFixture : public ::testing::Test {
  protected:
    LocalizerFixture();
    void SetUp() override;
    void TearDown() override;

    const std::filesystem::path& Folder() const { return m_folder; }
    std::filesystem::path LibraryPath() const;

    void WriteLocalizationFile(const std::string& content) const;
    // Sets "CntCode" of the machine's driver plug-in key.
    void WriteCountryCode(std::u16string_view code) const;
    void WriteRawCountryCode(std::uint32_t type, const std::vector<std::uint8_t>& bytes) const;
    void DeleteCountryCode() const;

    // Puts the stand-in library beside the localization file, offering the
    // `units` code units of `list` (all of it when npos) with `result`.
    void InstallLanguageLibrary(std::u16string_view list, std::int32_t result = 1,
                                std::size_t units = std::u16string_view::npos);
    // Puts something other than the stand-in at the library's path.
    void InstallLibraryWithoutExport() const;
    void InstallNonLibraryFile() const;
    void InstallFolderAsLibrary() const;

    // What the stand-in saw; zeros when it was never installed.
    std::int32_t LibraryCallCount() const;
    std::uint32_t LibraryLastRequest() const;
    bool LibraryBufferWasZeroFilled() const;

    // The language the user's UI language gives, as the localizer keeps it.
    static std::u16string UserInterfaceCode();

  private:
    template <typename Function>
    Function FakeFunction(const char* name) const;

    SettingsSandbox m_sandbox;
    std::filesystem::path m_folder;
    // Keeps the stand-in loaded, so the localizer's own load of the same file
    // shares its state. Unloaded before the sandbox removes the folder.
    platform::SharedLibrary m_fakeLibrary;
};

}  // namespace mossvane::test
