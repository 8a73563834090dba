#include "l10n/localizer.h"

#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "localizer_fixture.h"
#include "platform/registry.h"
#include "ui_language_override.h"

namespace mossvane::test {
namespace {

using LanguageChoiceTest = LocalizerFixture;

std::u16string Translated(Localizer& localizer, std::u16string_view key) {
    std::u16string text;
    EXPECT_TRUE(localizer.Translate(key, text, u"default")) << std::string(key.begin(), key.end());
    return text;
}

TEST_F(LanguageChoiceTest, CountryCodeOfTheMachineWinsOverTheLibrary) {
    WriteLocalizationFile(kThreeLanguageFile);
    WriteCountryCode(u"KR");
    InstallLanguageLibrary(u"FN:EN");
    FolderLocalizer localizer(Folder());
    EXPECT_EQ(localizer.GetLanguage(), u"kr");
    EXPECT_EQ(LibraryCallCount(), 0);
    // Entries marked "KR" and "kr" both belong to the language.
    EXPECT_EQ(Translated(localizer, u"PI/OK"), kKoreanOk);
    EXPECT_EQ(Translated(localizer, u"PI/Cancel"), kKoreanCancel);
}

TEST_F(LanguageChoiceTest, CountryCodeIsLowerCased) {
    WriteCountryCode(u"Fn");
    EXPECT_EQ(FolderLocalizer(Folder()).GetLanguage(), u"fn");
}

TEST_F(LanguageChoiceTest, EmptyOrUnusableCountryCodeLeavesTheChoiceToTheLibrary) {
    WriteLocalizationFile(kThreeLanguageFile);
    InstallLanguageLibrary(u"FN:EN");
    WriteCountryCode(u"");
    EXPECT_EQ(FolderLocalizer(Folder()).GetLanguage(), u"fn");
    WriteRawCountryCode(platform::reg_type::kDword, {0x4B, 0x00, 0x52, 0x00});
    EXPECT_EQ(FolderLocalizer(Folder()).GetLanguage(), u"fn");
    WriteRawCountryCode(platform::reg_type::kSz, {0x4B, 0x00, 0x52, 0x00});
    EXPECT_EQ(FolderLocalizer(Folder()).GetLanguage(), u"fn");
}

TEST_F(LanguageChoiceTest, LibraryGivesItsFirstCodeWhenTheFileExists) {
    WriteLocalizationFile(kThreeLanguageFile);
    InstallLanguageLibrary(u"FN:EN");
    FolderLocalizer localizer(Folder());
    EXPECT_EQ(localizer.GetLanguage(), u"fn");
    EXPECT_EQ(LibraryCallCount(), 1);
    EXPECT_EQ(LibraryLastRequest(), 8u);
    EXPECT_TRUE(LibraryBufferWasZeroFilled());
    EXPECT_EQ(Translated(localizer, u"PI/OK"), kFrenchOk);
}

TEST_F(LanguageChoiceTest, LibraryCodeComesBackUnchangedWithoutEmptyPieces) {
    WriteLocalizationFile(kThreeLanguageFile);
    InstallLanguageLibrary(u"::Fn::EN:");
    FolderLocalizer localizer(Folder());
    std::u16string code;
    ASSERT_TRUE(localizer.LanguageFromLibrary(localizer.GetLanguageLibraryPath(), code));
    EXPECT_EQ(code, u"Fn");
    EXPECT_EQ(localizer.GetLanguage(), u"fn");
}

TEST_F(LanguageChoiceTest, ListFillingTheWholeBufferIsReadToItsEnd) {
    WriteLocalizationFile(kThreeLanguageFile);
    std::u16string list(510, u':');
    list += u"KR";
    InstallLanguageLibrary(list);
    EXPECT_EQ(FolderLocalizer(Folder()).GetLanguage(), u"kr");
}

TEST_F(LanguageChoiceTest, WithoutTheFileTheLibraryListIsNotUsed) {
    UiLanguageOverride german("de_DE.UTF-8");
    InstallLanguageLibrary(u"FN:EN");
    FolderLocalizer localizer(Folder());
    EXPECT_EQ(LibraryCallCount(), 1);
    EXPECT_EQ(localizer.GetLanguage(), UserInterfaceCode());
    if (UiLanguageOverride::IsSupported()) {
        EXPECT_EQ(localizer.GetLanguage(), u"gr");
    }
    std::u16string text;
    EXPECT_FALSE(localizer.Translate(u"PI/OK", text, u"OK"));
    EXPECT_EQ(text, u"OK");
}

enum class LibraryState { Missing, ReturnsZero, OffersNothing, LacksExport, NotALibrary, Folder };

class UnusableLibraryTest : public LocalizerFixture,
                            public ::testing::WithParamInterface<LibraryState> {};

TEST_P(UnusableLibraryTest, UserInterfaceLanguageDecides) {
    UiLanguageOverride german("de_DE.UTF-8");
    WriteLocalizationFile(kThreeLanguageFile);
    switch (GetParam()) {
        case LibraryState::Missing:
            break;
        case LibraryState::ReturnsZero:
            InstallLanguageLibrary(u"FN:EN", 0);
            break;
        case LibraryState::OffersNothing:
            InstallLanguageLibrary(u"::", 1);
            break;
        case LibraryState::LacksExport:
            InstallLibraryWithoutExport();
            break;
        case LibraryState::NotALibrary:
            InstallNonLibraryFile();
            break;
        case LibraryState::Folder:
            InstallFolderAsLibrary();
            break;
    }
    FolderLocalizer localizer(Folder());
    EXPECT_EQ(localizer.GetLanguage(), UserInterfaceCode());
    if (UiLanguageOverride::IsSupported()) {
        EXPECT_EQ(localizer.GetLanguage(), u"gr");
    }
}

std::string LibraryStateName(const LibraryState& param) {
    static constexpr const char* kNames[] = {"Missing",     "ReturnsZero", "OffersNothing",
                                             "LacksExport", "NotALibrary", "Folder"};
    return kNames[static_cast<int>(param)];
}

// Test names under CTest are built from this.
void PrintTo(const LibraryState& param, std::ostream* out) {
    *out << LibraryStateName(param);
}

INSTANTIATE_TEST_SUITE_P(States, UnusableLibraryTest,
                         ::testing::Values(LibraryState::Missing, LibraryState::ReturnsZero,
                                           LibraryState::OffersNothing, LibraryState::LacksExport,
                                           LibraryState::NotALibrary, LibraryState::Folder));

TEST_F(LanguageChoiceTest, JapaneseUserGetsEnglish) {
    if (!UiLanguageOverride::IsSupported()) GTEST_SKIP() << "the system decides the language";
    UiLanguageOverride japanese("ja_JP.UTF-8");
    WriteLocalizationFile(kThreeLanguageFile);
    FolderLocalizer localizer(Folder());
    EXPECT_EQ(localizer.GetLanguage(), u"en");
    EXPECT_EQ(Translated(localizer, u"PI/OK"), kEnglishOk);
}

TEST_F(LanguageChoiceTest, UserLanguageWithoutCodeEndsInEnglishOnFirstLookup) {
    if (!UiLanguageOverride::IsSupported()) GTEST_SKIP() << "the system decides the language";
    UiLanguageOverride angolan("pt_AO.UTF-8");
    WriteLocalizationFile(kThreeLanguageFile);
    FolderLocalizer localizer(Folder());
    EXPECT_EQ(localizer.GetLanguage(), u"");
    EXPECT_EQ(Translated(localizer, u"PI/OK"), kEnglishOk);
    EXPECT_EQ(localizer.GetLanguage(), u"EN");
}

TEST_F(LanguageChoiceTest, EmptyCodeBeforeFirstLookupDetectsTheLanguageAgain) {
    WriteLocalizationFile(kThreeLanguageFile);
    WriteCountryCode(u"EN");
    FolderLocalizer localizer(Folder());
    InstallLanguageLibrary(u"KR:EN");
    ASSERT_TRUE(localizer.SetLanguage(u""));
    EXPECT_EQ(Translated(localizer, u"PI/OK"), kKoreanOk);
    EXPECT_EQ(localizer.GetLanguage(), u"kr");
}

TEST_F(LanguageChoiceTest, RedetectedLanguageWithoutEntriesFallsBackToEnglish) {
    WriteLocalizationFile(kThreeLanguageFile);
    WriteCountryCode(u"KR");
    FolderLocalizer localizer(Folder());
    InstallLanguageLibrary(u"GR");
    ASSERT_TRUE(localizer.SetLanguage(u""));
    EXPECT_EQ(Translated(localizer, u"PI/OK"), kEnglishOk);
    EXPECT_EQ(localizer.GetLanguage(), u"EN");
}

using LookupTest = LocalizerFixture;

TEST_F(LookupTest, MissingKeyGivesTheDefaultOrLeavesTheText) {
    WriteLocalizationFile(kThreeLanguageFile);
    WriteCountryCode(u"EN");
    FolderLocalizer localizer(Folder());
    std::u16string text = u"stale";
    EXPECT_FALSE(localizer.Translate(u"PI/Missing", text, nullptr));
    EXPECT_EQ(text, u"stale");
    EXPECT_FALSE(localizer.Translate(u"PI/Missing", text, u"Missing"));
    EXPECT_EQ(text, u"Missing");
    // Keys match exactly.
    EXPECT_FALSE(localizer.Translate(u"pi/ok", text, u"lower"));
    EXPECT_EQ(text, u"lower");
}

TEST_F(LookupTest, NoFallBackToEnglishEntries) {
    WriteLocalizationFile(kThreeLanguageFile);
    WriteCountryCode(u"KR");
    FolderLocalizer korean(Folder());
    std::u16string text;
    EXPECT_FALSE(korean.Translate(u"PI/OnlyEnglish", text, u"built in"));
    EXPECT_EQ(text, u"built in");

    WriteCountryCode(u"GR");
    FolderLocalizer german(Folder());
    EXPECT_FALSE(german.Translate(u"PI/OK", text, u"OK"));
    EXPECT_EQ(text, u"OK");
}

TEST_F(LookupTest, TextsAreReadOnceAndNeverReloaded) {
    WriteLocalizationFile(kThreeLanguageFile);
    WriteCountryCode(u"KR");
    FolderLocalizer localizer(Folder());
    EXPECT_EQ(Translated(localizer, u"PI/OK"), kKoreanOk);
    WriteLocalizationFile(R"(<L><Msg LN="KR" GR="PI"><Id>OK</Id><Val>new</Val></Msg></L>)");
    EXPECT_EQ(Translated(localizer, u"PI/OK"), kKoreanOk);
    ASSERT_TRUE(localizer.SetLanguage(u"EN"));
    EXPECT_EQ(Translated(localizer, u"PI/OK"), kKoreanOk);
    EXPECT_EQ(localizer.TextFileLookups(), 1);
}

TEST_F(LookupTest, SetLanguageBeforeFirstLookupChoosesTheTexts) {
    WriteLocalizationFile(kThreeLanguageFile);
    WriteCountryCode(u"KR");
    FolderLocalizer localizer(Folder());
    ASSERT_TRUE(localizer.SetLanguage(u"FN"));
    EXPECT_EQ(localizer.GetLanguage(), u"fn");
    EXPECT_EQ(Translated(localizer, u"PI/OK"), kFrenchOk);
}

TEST_F(LookupTest, SetLanguageRefusesANullCodeAndSetsRightToLeft) {
    WriteCountryCode(u"EN");
    FolderLocalizer localizer(Folder());
    EXPECT_FALSE(localizer.SetLanguage(nullptr));
    EXPECT_EQ(localizer.GetLanguage(), u"en");
    EXPECT_FALSE(localizer.IsRightToLeft());
    ASSERT_TRUE(localizer.SetLanguage(u"ab"));
    EXPECT_TRUE(localizer.IsRightToLeft());
    ASSERT_TRUE(localizer.SetLanguage(u"HB"));
    EXPECT_EQ(localizer.GetLanguage(), u"hb");
    EXPECT_TRUE(localizer.IsRightToLeft());
}

TEST_F(LookupTest, RootAfterByteOrderMarkDeclarationAndCommentIsRead) {
    WriteLocalizationFile(
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- texts -->\n"
        "<Root><Msg LN=\"KR\" GR=\"PI\"><Id>OK</Id><Val>\xED\x99\x95\xEC\x9D\xB8</Val></Msg>"
        "</Root>\n");
    WriteCountryCode(u"KR");
    FolderLocalizer localizer(Folder());
    EXPECT_EQ(Translated(localizer, u"PI/OK"), kKoreanOk);
}

enum class FileState { Missing, Folder, Malformed, Empty, NoRoot };

class UnreadableFileTest : public LocalizerFixture,
                           public ::testing::WithParamInterface<FileState> {};

TEST_P(UnreadableFileTest, EveryLookupGivesItsDefault) {
    const std::filesystem::path file = Folder() / "localization.xml";
    switch (GetParam()) {
        case FileState::Missing:
            break;
        case FileState::Folder:
            std::filesystem::create_directory(file);
            break;
        case FileState::Malformed:
            // The Korean entry is complete; the mismatched end tag after it
            // makes the whole document unusable.
            WriteLocalizationFile(R"(<L><Msg LN="KR" GR="PI"><Id>OK</Id><Val>x</Val></Msg>)"
                                  R"(<Msg LN="KR"></L>)");
            break;
        case FileState::Empty:
            WriteLocalizationFile("");
            break;
        case FileState::NoRoot:
            WriteLocalizationFile("<?xml version=\"1.0\"?><!-- x -->");
            break;
    }
    WriteCountryCode(u"KR");
    FolderLocalizer localizer(Folder());
    std::u16string text;
    EXPECT_FALSE(localizer.Translate(u"PI/OK", text, u"OK"));
    EXPECT_EQ(text, u"OK");
    EXPECT_EQ(localizer.GetLanguage(), u"kr");
}

std::string FileStateName(const FileState& param) {
    static constexpr const char* kNames[] = {"Missing", "Folder", "Malformed", "Empty", "NoRoot"};
    return kNames[static_cast<int>(param)];
}

// Test names under CTest are built from this.
void PrintTo(const FileState& param, std::ostream* out) {
    *out << FileStateName(param);
}

INSTANTIATE_TEST_SUITE_P(States, UnreadableFileTest,
                         ::testing::Values(FileState::Missing, FileState::Folder,
                                           FileState::Malformed, FileState::Empty,
                                           FileState::NoRoot));

TEST_F(LookupTest, FirstLookupsFromManyThreadsLoadOnceAndSeeEveryText) {
    constexpr int kEntries = 400;
    std::string file = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><L>";
    for (int i = 0; i < kEntries; ++i) {
        const std::string n = std::to_string(i);
        file += "<Msg LN=\"KR\" GR=\"T\"><Id>" + n + "</Id><Val>v" + n + "</Val></Msg>";
    }
    WriteLocalizationFile(file + "</L>");
    WriteCountryCode(u"KR");
    FolderLocalizer localizer(Folder());

    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<int> wrong(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            // Each thread starts at a different key so they meet mid-table.
            for (int k = 0; k < kEntries; ++k) {
                const std::string n = std::to_string((k + t * 50) % kEntries);
                std::u16string text;
                const bool found = localizer.Translate(u"T/" + std::u16string(n.begin(), n.end()),
                                                       text, u"missing");
                if (!found || text != u"v" + std::u16string(n.begin(), n.end())) ++wrong[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
    EXPECT_EQ(localizer.TextFileLookups(), 1);
}

}  // namespace
}  // namespace mossvane::test
