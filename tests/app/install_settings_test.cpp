#include "app/install_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "l10n/l10n_constants.h"
#include "platform/registry.h"
#include "support/settings_sandbox.h"

namespace mossvane {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

constexpr const char16_t* kListNames[] = {u"DevmodeList", u"DevmodeListForEndDoc",
                                          u"PhoneNumberList"};

// The bytes of a REG_SZ holding text: UTF-16LE with its terminator.
std::vector<std::uint8_t> StringBytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

std::string SettingsDocument(const char* devmode, const char* endDoc, const char* phone) {
    std::string text = "<?xml version=\"1.0\"?>\n<Settings>\n  <DefaultValue>\n";
    auto add = [&text](const char* name, const char* value) {
        if (value) text += std::string("    <") + name + ">" + value + "</" + name + ">\n";
    };
    add("DevmodeList", devmode);
    add("DevmodeListForEndDoc", endDoc);
    add("PhoneNumberList", phone);
    return text + "  </DefaultValue>\n</Settings>\n";
}

// The machine-wide lists live in a hive of the test's own on POSIX; under
// Wine the prefix's registry is shared, so the lists are cleared around
// every test.
class InstallSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { ClearMachineLists(); }
    void TearDown() override { ClearMachineLists(); }

    std::u16string WriteSettings(const std::string& name, const std::string& content) {
        const std::filesystem::path path = m_sandbox.FilesFolder() / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.u16string();
    }

    static bool KeyExists(RegistryRoot root, std::u16string_view path) {
        RegistryKey key;
        return RegistryKey::Open(root, path, platform::RegistryAccess::Read, key) ==
               platform::kSuccess;
    }

    static std::optional<platform::RegistryValue> MachineValue(std::u16string_view name) {
        RegistryKey key;
        if (RegistryKey::Open(RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                              platform::RegistryAccess::Read, key) != platform::kSuccess) {
            return std::nullopt;
        }
        platform::RegistryValue value;
        if (key.QueryValue(name, value) != platform::kSuccess) return std::nullopt;
        return value;
    }

    static void ExpectList(std::u16string_view name, std::optional<std::u16string> text) {
        const auto value = MachineValue(name);
        if (!text) {
            EXPECT_FALSE(value.has_value()) << "unexpected value";
            return;
        }
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->type, platform::reg_type::kSz);
        EXPECT_EQ(value->data, StringBytes(*text));
    }

    static void ExpectNoLists() {
        for (const char16_t* name : kListNames) ExpectList(name, std::nullopt);
    }

    test::SettingsSandbox m_sandbox{{l10n::kPlugInKeyPath}};

  private:
    static void ClearMachineLists() {
        RegistryKey key;
        if (RegistryKey::Open(RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                              platform::RegistryAccess::All, key) != platform::kSuccess) {
            return;
        }
        for (const char16_t* name : kListNames) key.DeleteValue(name);
    }
};

struct ListCase {
    const char* name;
    const char* devmode;
    const char* endDoc;
    const char* phone;
    std::optional<std::u16string> devmodeValue;
    std::optional<std::u16string> endDocValue;
    std::optional<std::u16string> phoneValue;
};

void PrintTo(const ListCase& param, std::ostream* out) {
    *out << param.name;
}

class InstallListsTest : public InstallSettingsTest,
                         public ::testing::WithParamInterface<ListCase> {};

TEST_P(InstallListsTest, WritesTheListsOfTheFile) {
    const ListCase& c = GetParam();
    InstallDefaults(WriteSettings("settings.xml", SettingsDocument(c.devmode, c.endDoc, c.phone)));
    ExpectList(u"DevmodeList", c.devmodeValue);
    ExpectList(u"DevmodeListForEndDoc", c.endDocValue);
    ExpectList(u"PhoneNumberList", c.phoneValue);
}

INSTANTIATE_TEST_SUITE_P(
    Files, InstallListsTest,
    ::testing::Values(
        ListCase{"SemicolonsBecomeLineFeeds", "red;green;blue", "a", "0123;456",
                 u"red\ngreen\nblue", u"a", u"0123\n456"},
        ListCase{"OnlySemicolons", ";;", nullptr, nullptr, u"\n\n", std::nullopt, std::nullopt},
        ListCase{"NothingTrimmed", " a ; ;b; ", "x;", nullptr, u" a \n \nb\n ", u"x\n",
                 std::nullopt},
        ListCase{"EmptyListsNotWritten", "", nullptr, "", std::nullopt, std::nullopt, std::nullopt},
        ListCase{"Utf8Text", "caf\xC3\xA9;\xE2\x82\xAC", nullptr, nullptr, u"caf\u00E9\n\u20AC",
                 std::nullopt, std::nullopt}));

TEST_F(InstallSettingsTest, MissingOrEmptyListLeavesTheOldValue) {
    InstallDefaults(WriteSettings("first.xml", SettingsDocument("a", "b", "1;2")));
    InstallDefaults(WriteSettings("second.xml", SettingsDocument("c", nullptr, "")));
    ExpectList(u"DevmodeList", u"c");
    ExpectList(u"DevmodeListForEndDoc", u"b");
    ExpectList(u"PhoneNumberList", u"1\n2");
}

TEST_F(InstallSettingsTest, EmptyFileCreatesOnlyTheKey) {
    InstallDefaults(WriteSettings("empty.xml", ""));
    EXPECT_TRUE(KeyExists(RegistryRoot::LocalMachine, l10n::kPlugInKeyPath));
    ExpectNoLists();
}

TEST_F(InstallSettingsTest, DocumentThatDoesNotParseWritesNothing) {
    std::string document = SettingsDocument("a", "b", "c");
    document.resize(document.size() - 4);
    InstallDefaults(WriteSettings("cut.xml", document));
    EXPECT_TRUE(KeyExists(RegistryRoot::LocalMachine, l10n::kPlugInKeyPath));
    ExpectNoLists();
}

TEST_F(InstallSettingsTest, QuotedFileNameIsNotUnquoted) {
    const std::u16string path = WriteSettings("settings.xml", SettingsDocument("a", "b", "c"));
    InstallDefaults(u"\"" + path + u"\"");
    ExpectNoLists();
    // Where the machine hive is a file of the test's own, it is not even made.
    if (const char* hive = std::getenv("MOSSVANE_MACHINE_REG")) {
        EXPECT_FALSE(std::filesystem::exists(hive));
    }
}

TEST_F(InstallSettingsTest, UninstallLeavesTheMachineListsAlone) {
    InstallDefaults(WriteSettings("settings.xml", SettingsDocument("a", "b", "c")));
    RegistryKey user;
    ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, l10n::kPlugInKeyPath,
                                  platform::RegistryAccess::ReadWrite, user),
              platform::kSuccess);
    user.Close();

    RemoveUserSettings();
    EXPECT_FALSE(KeyExists(RegistryRoot::CurrentUser, l10n::kPlugInKeyPath));
    ExpectList(u"DevmodeList", u"a");
    ExpectList(u"DevmodeListForEndDoc", u"b");
    ExpectList(u"PhoneNumberList", u"c");
}

TEST_F(InstallSettingsTest, UninstallOfAUserWithoutTheKeyCreatesOnlyTheParent) {
    RemoveUserSettings();
    EXPECT_TRUE(KeyExists(RegistryRoot::CurrentUser, u"Software\\Varnock"));
    EXPECT_FALSE(KeyExists(RegistryRoot::CurrentUser, l10n::kPlugInKeyPath));
}

TEST_F(InstallSettingsTest, UninstallKeepsAKeyWithSubkeys) {
    const std::u16string child = std::u16string(l10n::kPlugInKeyPath) + u"\\Child";
    RegistryKey key;
    ASSERT_EQ(RegistryKey::Create(RegistryRoot::CurrentUser, child,
                                  platform::RegistryAccess::ReadWrite, key),
              platform::kSuccess);
    key.Close();
    RemoveUserSettings();
    EXPECT_TRUE(KeyExists(RegistryRoot::CurrentUser, l10n::kPlugInKeyPath));

    RegistryKey parent;
    ASSERT_EQ(RegistryKey::Open(RegistryRoot::CurrentUser, l10n::kPlugInKeyPath,
                                platform::RegistryAccess::All, parent),
              platform::kSuccess);
    EXPECT_EQ(parent.DeleteSubKey(u"Child"), platform::kSuccess);
}

struct PathCase {
    const char* name;
    const char16_t* programPath;
    const char16_t* argument;
    const char16_t* expected;
};

void PrintTo(const PathCase& param, std::ostream* out) {
    *out << param.name;
}

class SettingsFilePathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(SettingsFilePathTest, JoinsFolderAndArgument) {
    EXPECT_EQ(SettingsFilePath(GetParam().programPath, GetParam().argument), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SettingsFilePathTest,
    ::testing::Values(
        PathCase{"CompanionNameGivesItsFolder", u"C:\\Tools\\Kolvent.exe", u"s.xml",
                 u"C:\\Tools\\s.xml"},
        PathCase{"FirstOccurrenceCounts", u"C:\\Kolvent.exe\\Kolvent.exe", u"s.xml", u"C:\\s.xml"},
        PathCase{"OtherNameGivesTheArgumentAlone", u"C:\\Tools\\mossvane.exe", u"s.xml", u"s.xml"},
        PathCase{"CaseMatters", u"C:\\Tools\\KOLVENT.EXE", u"s.xml", u"s.xml"},
        PathCase{"ArgumentUnchanged", u"/opt/Kolvent.exe", u" \"a b\" /u ", u"/opt/ \"a b\" /u "}));

}  // namespace
}  // namespace mossvane
