#include "app/install_settings.h"

#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "l10n/l10n_constants.h"
#include "params/param_map.h"
#include "params/xml_to_param.h"
#include "platform/file_contents.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "platform/utf8.h"

namespace mossvane {

namespace {

constexpr char16_t kDefaultSection[] = u"DefaultValue";
constexpr const char16_t* kListValueNames[] = {u"DevmodeList", u"DevmodeListForEndDoc",
                                               u"PhoneNumberList"};
constexpr char16_t kSettingsListSeparator = u';';
constexpr char16_t kRegistryListSeparator = u'\n';

// ERROR_INVALID_NAME: Windows refuses such names as a quoted file name.
constexpr platform::ErrorCode kInvalidName = 123;

// The driver plug-in key split into the user's parent key, which the
// uninstall creates, and the subkey it deletes.
constexpr std::u16string_view kPlugInKey = l10n::kPlugInKeyPath;
constexpr std::size_t kPlugInKeySplit = kPlugInKey.rfind(u'\\');
constexpr std::u16string_view kPlugInParentKey = kPlugInKey.substr(0, kPlugInKeySplit);
constexpr std::u16string_view kPlugInSubKey = kPlugInKey.substr(kPlugInKeySplit + 1);

// Plain words for the codes a file or key can fail with, the same on every
// platform so an administrator reads the same message everywhere.
std::string DescribeError(platform::ErrorCode error) {
    switch (error) {
        case platform::kFileNotFound:
            return "no such file";
        case platform::kPathNotFound:
            return "no such folder";
        case platform::kAccessDenied:
            return "permission denied";
        case platform::kNotEnoughMemory:
            return "out of memory";
        case platform::kInvalidParameter:
        case platform::kBadPathname:
        case kInvalidName:
            return "invalid name";
        case platform::kFilenameTooLong:
            return "name too long";
        case platform::kIsAFolder:
            return "a folder, not a file";
        case platform::kFileTooLarge:
            return "file too large";
        case platform::kBadDatabase:
            return "the settings hive is damaged";
        default:
            return "system error " + std::to_string(error);
    }
}

// The verbs run from a terminal or an installer script: a failure that
// leaves the registry unchanged must not pass in silence.
void ReportFailure(const std::string& what, platform::ErrorCode error) {
    const std::string line = "mossvane: " + what + ": " + DescribeError(error) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

// The document's bytes with one zero byte after them, so the parser sees a
// terminated text however the file ends.
bool ReadSettingsFile(const std::u16string& path, std::vector<std::uint8_t>& text) {
    const platform::ErrorCode error = platform::ReadWholeFile(path, kMaxSettingsFileSize, text);
    if (error != platform::kSuccess) {
        std::string what = "cannot read settings file '" + platform::Utf16ToFileName(path) + "'";
        if (error == platform::kFileTooLarge) {
            what += " (at most " + std::to_string(kMaxSettingsFileSize) + " bytes)";
        }
        ReportFailure(what, error);
        return false;
    }
    text.push_back(0);
    return true;
}

// Whatever the parser could read is used, even from a document that is not
// well-formed; a document without any element gives no settings.
SectionParamMap ParseSettings(const std::vector<std::uint8_t>& text) {
    tinyxml2::XMLDocument document;
    document.Parse(reinterpret_cast<const char*>(text.data()));
    XML2Param2 converter;
    if (tinyxml2::XMLElement* root = document.FirstChildElement()) root->Accept(&converter);
    return std::move(converter.params);
}

void WriteLists(platform::RegistryKey& key, const SectionParamMap& settings) {
    for (const char16_t* name : kListValueNames) {
        const std::u16string value =
            ListValueText(GetSectionParam(settings, kDefaultSection, name, u""));
        if (value.empty()) continue;
        // A failed write leaves the other lists to be written all the same.
        const platform::ErrorCode error = key.SetValue(name, platform::reg_type::kSz, value.c_str(),
                                                       (value.size() + 1) * sizeof(char16_t));
        if (error != platform::kSuccess) {
            ReportFailure(
                "cannot write " + platform::Utf16ToUtf8(name) + " into the machine-wide settings",
                error);
        }
    }
}

void Install(std::u16string_view argument) {
    const std::u16string path = SettingsFilePath(platform::ExecutablePath(), argument);
    std::vector<std::uint8_t> text;
    if (!ReadSettingsFile(path, text)) return;
    const SectionParamMap settings = ParseSettings(text);
    text = {};

    platform::RegistryKey key;
    const platform::ErrorCode error = platform::RegistryKey::Create(
        platform::RegistryRoot::LocalMachine, kPlugInKey, platform::RegistryAccess::ReadWrite, key);
    if (error != platform::kSuccess) {
        ReportFailure("cannot write the machine-wide settings", error);
        return;
    }
    WriteLists(key, settings);
}

void RemoveUserKey() {
    platform::RegistryKey parent;
    if (platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, kPlugInParentKey,
                                      platform::RegistryAccess::ReadWrite,
                                      parent) != platform::kSuccess) {
        return;
    }
    parent.DeleteSubKey(kPlugInSubKey);
}

}  // namespace

std::u16string SettingsFilePath(std::u16string_view programPath, std::u16string_view argument) {
    std::u16string path;
    const std::size_t at = programPath.find(kCompanionProgramFileName);
    if (at != std::u16string_view::npos) path = programPath.substr(0, at);
    path += argument;
    return path;
}

std::u16string ListValueText(std::u16string text) {
    for (char16_t& c : text) {
        if (c == kSettingsListSeparator) c = kRegistryListSeparator;
    }
    return text;
}

// Memory that runs out ends the verb, not the process: the program still
// shuts down in order.
void InstallDefaults(std::u16string_view argument) {
    try {
        Install(argument);
    } catch (const std::bad_alloc&) {
        ReportFailure("cannot install the settings", platform::kNotEnoughMemory);
    }
}

void RemoveUserSettings() {
    try {
        RemoveUserKey();
    } catch (const std::bad_alloc&) {
        ReportFailure("cannot remove the user's settings", platform::kNotEnoughMemory);
    }
}

}  // namespace mossvane
