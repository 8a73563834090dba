#include "l10n/localizer.h"

#include <tinyxml.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "l10n/l10n_constants.h"
#include "l10n/language_code.h"
#include "l10n/language_library.h"
#include "l10n/localization_file.h"
#include "l10n/plug_in_settings.h"
#include "l10n/program_paths.h"
#include "params/text_conversion.h"
#include "platform/file_contents.h"

namespace mossvane {

Localizer::Localizer()
    : m_document(std::make_unique<TiXmlDocument>()), m_language(l10n::kDefaultLanguageCode) {}

Localizer::~Localizer() = default;

bool Localizer::Translate(std::u16string_view key, std::u16string& text,
                          const char16_t* defaultText) {
    EnsureLoaded();
    const auto found = m_table.find(key);
    if (found != m_table.end()) {
        text = found->second;
        return true;
    }
    if (defaultText != nullptr) text = defaultText;
    return false;
}

std::u16string Localizer::GetLanguage() const {
    std::lock_guard lock(m_languageLock);
    return m_language;
}

bool Localizer::IsRightToLeft() const {
    return IsRightToLeftLanguage(GetLanguage());
}

bool Localizer::SetLanguage(const char16_t* code) {
    if (code == nullptr) return false;
    SetLanguageCode(ToLowerLanguageCode(code));
    return true;
}

void Localizer::SetLanguageCode(std::u16string code) {
    std::lock_guard lock(m_languageLock);
    m_language = std::move(code);
}

void Localizer::ChooseLanguage() {
    std::u16string candidate;
    if (ReadPlugInMachineValue(l10n::kCountryCodeValueName, candidate) != platform::kSuccess) {
        candidate.clear();
    }
    if (candidate.empty()) DetectLanguage(candidate);
    SetLanguageCode(ToLowerLanguageCode(candidate));
}

bool Localizer::DetectLanguage(std::u16string& code) const {
    if (LanguageFromLibrary(GetLanguageLibraryPath(), code)) return true;
    code = LanguageFromUserUILanguage();
    return true;
}

bool Localizer::LanguageFromLibrary(const std::u16string& libraryPath, std::u16string& code) const {
    std::u16string list;
    if (!ReadPreferredLanguages(libraryPath, list)) return false;
    for (std::u16string& candidate : SplitLanguageList(list)) {
        if (!IsExistingFile(GetTextFilePath(candidate))) continue;
        code = std::move(candidate);
        return true;
    }
    return false;
}

void Localizer::EnsureLoaded() {
    if (m_loadAttempted.load(std::memory_order_acquire)) return;
    std::lock_guard lock(m_loadLock);
    if (m_loadAttempted.load(std::memory_order_relaxed)) return;
    try {
        Load();
    } catch (const std::exception&) {
        // Out of memory while reading: every lookup falls back to its
        // default text, as when there is no file at all.
        m_table.clear();
    }
    m_loadAttempted.store(true, std::memory_order_release);
}

bool Localizer::Load() {
    m_table.clear();
    const std::u16string path = GetTextFilePath({});
    if (GetLanguage().empty()) {
        // No code yet (a user language without one, or SetLanguage with an
        // empty code): the language is detected again and kept only when
        // the file has texts for it; English otherwise.
        SetLanguageCode(l10n::kDefaultLanguageCode);
        std::u16string detected;
        if (!DetectLanguage(detected)) return false;
        if (!LoadDocument(path)) return false;
        if (HasLanguageEntry(*m_document, detected)) {
            SetLanguageCode(ToLowerLanguageCode(detected));
        }
    } else if (!LoadDocument(path)) {
        return false;
    }
    FillTextTable(*m_document, GetLanguage(), m_table);
    return true;
}

bool Localizer::LoadDocument(const std::u16string& path) {
    // TinyXML would happily open a folder on POSIX systems and then take its
    // size for the length of the text, so only plain files are handed over.
    if (!IsExistingFile(path)) return false;
    std::vector<std::uint8_t> bytes;
    if (platform::ReadWholeFile(path, l10n::kMaxLocalizationFileSize, bytes) != platform::kSuccess)
        return false;
    return ParseLocalizationText(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), *m_document);
}

}  // namespace mossvane
