#include "localizer_fixture.h"

#include <algorithm>
#include <fstream>

#include "l10n/l10n_constants.h"
#include "l10n/language_code.h"
#include "platform/registry.h"
#include "platform/system_info.h"

namespace mossvane::test {
namespace {

using SetListFunction = void (*)(const char16_t*, std::uint32_t, std::int32_t);
using CountFunction = std::int32_t (*)();
using RequestFunction = std::uint32_t (*)();

std::filesystem::path LibraryFileName(std::u16string_view baseName) {
    std::u16string name(baseName);
    name += platform::SharedLibrarySuffix();
    return std::filesystem::path(name);
}

// The build puts the stand-in libraries in a folder of their own beside the
// tests, where the program's localizer never looks.
std::filesystem::path BuiltLibrary(std::u16string_view baseName) {
    return std::filesystem::path(platform::ExecutableFolder()) / "l10n-fake" /
           LibraryFileName(baseName);
}

}  // namespace

FolderLocalizer::FolderLocalizer(std::filesystem::path folder) : m_folder(std::move(folder)) {
    ChooseLanguage();
    m_textFileLookups = 0;
}

std::u16string FolderLocalizer::GetTextFilePath(std::u16string_view /*languageCode*/) const {
    ++m_textFileLookups;
    return (m_folder / l10n::kLocalizationFileName).u16string();
}

std::u16string FolderLocalizer::GetLanguageLibraryPath() const {
    return (m_folder / LibraryFileName(l10n::kLanguageLibraryBaseName)).u16string();
}

const char kThreeLanguageFile[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Localization>\n"
    "  <Msg LN=\"EN\" GR=\"PI\"><Id>OK</Id><Val>OK!</Val></Msg>\n"
    "  <Msg LN=\"EN\" GR=\"PI\"><Id>Cancel</Id><Val>Cancel!</Val></Msg>\n"
    "  <Msg LN=\"EN\" GR=\"PI\"><Id>OnlyEnglish</Id><Val>English</Val></Msg>\n"
    "  <Msg LN=\"KR\" GR=\"PI\"><Id>OK</Id><Val>\xED\x99\x95\xEC\x9D\xB8</Val></Msg>\n"
    "  <Msg LN=\"kr\" GR=\"PI\"><Id>Cancel</Id><Val>\xEC\xB7\xA8\xEC\x86\x8C</Val></Msg>\n"
    "  <Msg LN=\"FN\" GR=\"PI\"><Id>OK</Id><Val>D'accord</Val></Msg>\n"
    "</Localization>\n";

LocalizerFixture::LocalizerFixture() : m_folder(m_sandbox.FilesFolder()) {}

void LocalizerFixture::SetUp() {
    DeleteCountryCode();
}

void LocalizerFixture::TearDown() {
    // The machine settings are shared by the whole Wine prefix.
    DeleteCountryCode();
    m_fakeLibrary.Unload();
}

std::filesystem::path LocalizerFixture::LibraryPath() const {
    return m_folder / LibraryFileName(l10n::kLanguageLibraryBaseName);
}

void LocalizerFixture::WriteLocalizationFile(const std::string& content) const {
    std::ofstream file(m_folder / l10n::kLocalizationFileName, std::ios::binary);
    file << content;
    ASSERT_TRUE(file.good());
}

void LocalizerFixture::WriteCountryCode(std::u16string_view code) const {
    std::u16string terminated(code);
    terminated.push_back(u'\0');
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(terminated.data());
    WriteRawCountryCode(platform::reg_type::kSz,
                        std::vector<std::uint8_t>(bytes, bytes + terminated.size() * 2));
}

void LocalizerFixture::WriteRawCountryCode(std::uint32_t type,
                                           const std::vector<std::uint8_t>& bytes) const {
    platform::RegistryKey key;
    ASSERT_EQ(
        platform::RegistryKey::Create(platform::RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                                      platform::RegistryAccess::ReadWrite, key),
        platform::kSuccess);
    ASSERT_EQ(key.SetValue(l10n::kCountryCodeValueName, type, bytes.data(), bytes.size()),
              platform::kSuccess);
}

void LocalizerFixture::DeleteCountryCode() const {
    platform::RegistryKey key;
    if (platform::RegistryKey::Open(platform::RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                                    platform::RegistryAccess::ReadWrite,
                                    key) != platform::kSuccess) {
        return;
    }
    key.DeleteValue(l10n::kCountryCodeValueName);
}

void LocalizerFixture::InstallLanguageLibrary(std::u16string_view list, std::int32_t result,
                                              std::size_t units) {
    std::filesystem::copy_file(BuiltLibrary(u"lotrasx"), LibraryPath());
    ASSERT_EQ(platform::SharedLibrary::Load(LibraryPath().u16string(), m_fakeLibrary),
              platform::kSuccess);
    const auto setList = FakeFunction<SetListFunction>("FakeSetLanguageList");
    ASSERT_NE(setList, nullptr);
    setList(list.data(), static_cast<std::uint32_t>(std::min(units, list.size())), result);
}

void LocalizerFixture::InstallLibraryWithoutExport() const {
    std::filesystem::copy_file(BuiltLibrary(u"library_without_export"), LibraryPath());
}

void LocalizerFixture::InstallNonLibraryFile() const {
    std::ofstream file(LibraryPath(), std::ios::binary);
    file << "not a library";
}

void LocalizerFixture::InstallFolderAsLibrary() const {
    std::filesystem::create_directory(LibraryPath());
}

template <typename Function>
Function LocalizerFixture::FakeFunction(const char* name) const {
    return reinterpret_cast<Function>(m_fakeLibrary.FindFunction(name));
}

std::int32_t LocalizerFixture::LibraryCallCount() const {
    const auto count = FakeFunction<CountFunction>("FakeCallCount");
    return count != nullptr ? count() : 0;
}

std::uint32_t LocalizerFixture::LibraryLastRequest() const {
    const auto request = FakeFunction<RequestFunction>("FakeLastRequest");
    return request != nullptr ? request() : 0;
}

bool LocalizerFixture::LibraryBufferWasZeroFilled() const {
    const auto zeroFilled = FakeFunction<CountFunction>("FakeLastBufferWasZeroFilled");
    return zeroFilled != nullptr && zeroFilled() == 1;
}

std::u16string LocalizerFixture::UserInterfaceCode() {
    return ToLowerLanguageCode(LanguageFromUserUILanguage());
}

}  // namespace mossvane::test
