// The dialog on desktops as users have them: a language whose script the
// installed fonts may not cover, and a display that can't be reached. The
// dialog helper inherits the server's environment and writes its debug
// lines where the server does.
#include <fstream>
#include <future>

#include "dialog_driver.h"
#include "posix/scoped_variable.h"
#include "server_harness.h"

namespace mossvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kAnswerCancel[] = u"[Result]\nRETURN=CANCEL\n";
constexpr char kMissingGlyphsLine[] = "no installed font has glyphs for the dialog's texts";
constexpr char kLatinFonts[] = "/usr/share/fonts/truetype/dejavu";
constexpr char kHangulFonts[] = "/usr/share/fonts/truetype/nanum";

class DialogEnvironmentTest : public ServerTest {
  protected:
    // A fontconfig setup that knows only the fonts of `folders`.
    std::string FontSetup(const std::vector<std::string>& folders) {
        const fs::path file = fs::path(folder()) / "fonts.conf";
        std::ofstream conf(file);
        conf << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM "
                "\"urn:fontconfig:fonts.dtd\">\n"
             << "<fontconfig>\n";
        for (const std::string& fonts : folders) conf << "  <dir>" << fonts << "</dir>\n";
        conf << "  <cachedir>" << (fs::path(folder()) / "font-cache").string() << "</cachedir>\n"
             << "</fontconfig>\n";
        return file.string();
    }

    // Starts the server with the environment as the test has set it and
    // sends it a GETINFO.
    bool StartAndAsk() {
        m_server = StartServer();
        if (!m_server || !Connect(m_connection)) return false;
        m_answer = AskForNumber(m_connection);
        return true;
    }

    std::u16string Answer() {
        if (m_answer.wait_for(60s) != std::future_status::ready) return u"<no answer>";
        return m_answer.get();
    }

    // A request left unanswered by a failed step waits in its read until
    // the server goes, which ends its connection.
    void TearDown() override {
        if (m_server) m_server->Kill();
        if (m_answer.valid()) m_answer.wait();
        ServerTest::TearDown();
    }

    ChildProcess& server() { return *m_server; }

  private:
    std::unique_ptr<ChildProcess> m_server;
    platform::PipeConnection m_connection;
    std::future<std::u16string> m_answer;
};

struct FontCase {
    const char* name;
    const char* language;
    const char16_t* caption;
    bool hangulFont;
    bool expectLine;
};

void PrintTo(const FontCase& fontCase, std::ostream* out) {
    *out << fontCase.name;
}

class DialogFontTest : public DialogEnvironmentTest,
                       public ::testing::WithParamInterface<FontCase> {};

TEST_P(DialogFontTest, MissingGlyphsAreReportedOnceWithTheLanguage) {
    if (!test::DialogDriver::DisplayAvailable()) GTEST_SKIP() << "needs a display";
    std::vector<std::string> fonts{kLatinFonts};
    if (GetParam().hangulFont) fonts.push_back(kHangulFonts);
    ScopedVariable fontconfig("FONTCONFIG_FILE", FontSetup(fonts).c_str());
    // The language comes from LANGUAGE, the locale is one every system has:
    // a title in a locale the C library lacks reaches X11 only as
    // _NET_WM_NAME, which the window search does not read.
    ScopedVariable language("LANGUAGE", GetParam().language);
    ScopedVariable locale("LANG", "C.UTF-8");
    ScopedVariable everything("LC_ALL", nullptr);
    ScopedVariable messages("LC_MESSAGES", nullptr);
    ASSERT_TRUE(StartAndAsk());
    test::DialogDriver driver;
    ASSERT_TRUE(driver.WaitForWindow(GetParam().caption)) << server().DebugOutput();
    ASSERT_TRUE(driver.PressCancel());
    EXPECT_EQ(Answer(), kAnswerCancel);

    // The helper has ended before the answer goes out: all it wrote is in.
    const std::string debug = server().DebugOutput();
    if (GetParam().expectLine) {
        EXPECT_EQ(CountOccurrences(debug, kMissingGlyphsLine), 1u) << debug;
        EXPECT_NE(debug.find("language ko-kr (script Hang)"), std::string::npos) << debug;
    } else {
        EXPECT_EQ(debug.find(kMissingGlyphsLine), std::string::npos) << debug;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fonts, DialogFontTest,
    ::testing::Values(FontCase{"KoreanWithHangulFont", "ko_KR",
                               u"\uAC1C\uC778 \uC2DD\uBCC4 \uBC88\uD638", true, false},
                      FontCase{"KoreanWithoutHangulFont", "ko_KR",
                               u"\uAC1C\uC778 \uC2DD\uBCC4 \uBC88\uD638", false, true},
                      FontCase{"EnglishWithoutHangulFont", "en_US",
                               u"Personal Identification Number", false, false}),
    [](const ::testing::TestParamInfo<FontCase>& info) { return info.param.name; });

struct DisplayCase {
    const char* name;
    const char* wayland;
    const char* x11;
    std::vector<std::string> expected;
};

void PrintTo(const DisplayCase& displayCase, std::ostream* out) {
    *out << displayCase.name;
}

class UnreachableDisplayTest : public DialogEnvironmentTest,
                               public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(UnreachableDisplayTest, TheLineNamesTheDisplayAndWhy) {
    ScopedVariable wayland("WAYLAND_DISPLAY", GetParam().wayland);
    ScopedVariable x11("DISPLAY", GetParam().x11);
    ASSERT_TRUE(StartAndAsk());
    EXPECT_EQ(Answer(), kAnswerCancel);
    const std::string debug = server().DebugOutput();
    for (const std::string& text : GetParam().expected) {
        EXPECT_NE(debug.find(text), std::string::npos) << text << " not in:\n" << debug;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Displays, UnreachableDisplayTest,
    ::testing::Values(
        DisplayCase{"WaylandSocketMissing",
                    "mossvane-test-nowhere",
                    nullptr,
                    {"cannot open a display: WAYLAND_DISPLAY \"mossvane-test-nowhere\" (",
                     "/mossvane-test-nowhere): No such file or directory"}},
        DisplayCase{"X11SocketMissing",
                    nullptr,
                    ":7913",
                    {"cannot open a display: DISPLAY \":7913\" (/tmp/.X11-unix/X7913): No such "
                     "file or directory"}},
        DisplayCase{"X11NameMalformed",
                    nullptr,
                    "printer-room",
                    {"cannot open a display: DISPLAY \"printer-room\": not a display name"}},
        DisplayCase{"BothMissing",
                    "/nonexistent/wayland-7913",
                    "unix:7913.0",
                    {"WAYLAND_DISPLAY \"/nonexistent/wayland-7913\" (/nonexistent/wayland-7913): "
                     "No such file or directory; DISPLAY \"unix:7913.0\" (/tmp/.X11-unix/X7913)"}}),
    [](const ::testing::TestParamInfo<DisplayCase>& info) { return info.param.name; });

}  // namespace
}  // namespace mossvane::testing
