#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/debug_capture.h"
#include "wire/pipe_name.h"

namespace mossvane {
namespace {

// Records what the verbs asked for, in order, as short texts.
class RecordingActions : public CommandVerbActions {
  public:
    bool dialogOpen = false;
    std::vector<std::u16string> calls;

    bool BringAccessControlToFront() override {
        calls.push_back(u"front");
        return dialogOpen;
    }
    int CallServer(std::u16string_view pipeName, std::u16string& reply,
                   std::u16string_view requestText) override {
        EXPECT_EQ(pipeName, UserPipeName());
        EXPECT_TRUE(reply.empty());
        calls.push_back(u"send " + std::u16string(requestText));
        return 5;
    }
    void InstallDefaults(std::u16string_view argument) override {
        calls.push_back(u"install " + std::u16string(argument));
    }
    void RemoveUserSettings() override { calls.push_back(u"uninstall"); }
};

struct VerbCase {
    const char* name;
    int alreadyRunning;
    const char16_t* commandLine;
    bool dialogOpen;
    int expectedResult;
    std::vector<std::u16string> expectedCalls;
};

void PrintTo(const VerbCase& param, std::ostream* out) {
    *out << param.name;
}

class HandleCommandLineTest : public ::testing::TestWithParam<VerbCase> {};

TEST_P(HandleCommandLineTest, CarriesOutTheVerbs) {
    const VerbCase& c = GetParam();
    RecordingActions actions;
    actions.dialogOpen = c.dialogOpen;
    EXPECT_EQ(HandleCommandLine(c.alreadyRunning, c.commandLine, actions), c.expectedResult);
    EXPECT_EQ(actions.calls, c.expectedCalls);
}

INSTANTIATE_TEST_SUITE_P(
    FirstProcess, HandleCommandLineTest,
    ::testing::Values(VerbCase{"NoVerbRunsTheServer", 0, u"", false, 0, {}},
                      VerbCase{"ExitEndsWithoutSending", 0, u"/Exit", false, 1, {}},
                      VerbCase{"OpenRunsTheServer", 0, u"/Open", false, 0, {}},
                      VerbCase{"HyphenIsNoVerb", 0, u"-Open", false, 0, {}},
                      VerbCase{
                          "InstallHandled", 0, u"/install s.xml", false, 1, {u"install s.xml"}},
                      VerbCase{"OpenThenUninstall", 0, u"/Open /u", false, 1, {u"uninstall"}}));

INSTANTIATE_TEST_SUITE_P(
    SecondProcess, HandleCommandLineTest,
    ::testing::Values(
        VerbCase{"NoVerbEndsAtOnce", 1, u"Open", false, 1, {}},
        VerbCase{"ExitSendsTheRequest", 1, u"/Exit", false, 1, {u"front", u"send @=Exit"}},
        VerbCase{"ExitBringsTheDialogInstead", 1, u"/EXIT", true, 1, {u"front"}},
        VerbCase{"OpenSendsOpenUI", 1, u"/open", false, 1, {u"front", u"send @=OpenUI"}},
        VerbCase{"OpenBringsTheDialogInstead", 1, u"/Open", true, 1, {u"front"}},
        VerbCase{"UnknownWordRunsAServer", 1, u"/foo", false, 0, {}},
        VerbCase{"ArgumentIsTheRestThenScanGoesOn",
                 1,
                 u"/i settings.xml /u",
                 false,
                 1,
                 {u"install settings.xml /u", u"uninstall"}},
        VerbCase{"ArgumentKeepsQuotesAndSpaces",
                 1,
                 u"/install  \"a b.xml\" ",
                 false,
                 1,
                 {u"install  \"a b.xml\" "}},
        VerbCase{"SlashJoinedWordsMatchOnlyTheLast",
                 1,
                 u"/Open/Exit",
                 false,
                 1,
                 {u"front", u"send @=Exit"}},
        VerbCase{"InstallAsLastWordInstallsNothing", 1, u"/u /i", false, 1, {u"uninstall"}},
        VerbCase{"TabEndsTheWordButNotTheScan", 1, u"/i\t/u", false, 1, {}},
        VerbCase{"VerbsInOrder",
                 1,
                 u"/uninstall /Exit /Open",
                 false,
                 1,
                 {u"uninstall", u"front", u"send @=Exit", u"front", u"send @=OpenUI"}},
        VerbCase{"TextBeforeTheSlashIgnored", 1, u"Exit now /u", false, 1, {u"uninstall"}}));

// The traces the verbs leave, in the order the actions run.
TEST(HandleCommandLineTraceTest, WritesTheVerbAndCallLines) {
    test::DebugCapture capture;
    ASSERT_TRUE(capture.IsListening());
    RecordingActions actions;
    EXPECT_EQ(HandleCommandLine(1, u"/Open /i x /u /Exit", actions), 1);
    ASSERT_TRUE(capture.Sync());
    std::vector<std::string> lines;
    for (std::string text : capture.Texts()) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        lines.push_back(text);
    }
    const std::vector<std::string> expected = {"open",        "call before", "call after",
                                               "install",     "uninstall",   "Exit",
                                               "call before", "call after"};
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace mossvane
