// The information file of a finished job.
#include "pipe/job_info.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include "params/text_conversion.h"
#include "platform/codepage.h"
#include "spool_fixture.h"
#include "support/debug_capture.h"

namespace mossvane {
namespace {

using namespace test;  // the spool folder helpers

// The information file declares the encoding its bytes are in.
const std::string kDeclaration =
    "<?xml version=\"1.0\" encoding=\"" + platform::AnsiCodePageEncodingName() + "\"?>\n";

struct DocumentCase {
    const char* name;
    ParamMap information;
    const char* document;  // after the declaration
};

void PrintTo(const DocumentCase& documentCase, std::ostream* out) {
    *out << documentCase.name;
}

class JobInfoDocumentTest : public ::testing::TestWithParam<DocumentCase> {};

TEST_P(JobInfoDocumentTest, IsTheLibrarysDefaultLayoutInKeyOrder) {
    const std::string document = BuildJobInfoDocument(GetParam().information);
    EXPECT_EQ(document, kDeclaration + GetParam().document);
    tinyxml2::XMLDocument parsed;
    EXPECT_EQ(parsed.Parse(document.c_str()), tinyxml2::XML_SUCCESS) << document;
}

INSTANTIATE_TEST_SUITE_P(
    Entries, JobInfoDocumentTest,
    ::testing::Values(
        DocumentCase{"Empty", {}, "<JobInfo/>\n"},
        DocumentCase{"AscendingByCodeUnit",
                     {{u"b", u"2"}, {u"a", u"1"}, {u"B", u"3"}, {u"a1", u""}},
                     "<JobInfo>\n    <B>3</B>\n    <a>1</a>\n    <a1></a1>\n    <b>2</b>\n"
                     "</JobInfo>\n"},
        DocumentCase{"TextIsEscaped",
                     {{u"Title", u"a<b & \"c\""}},
                     "<JobInfo>\n    <Title>a&lt;b &amp; \"c\"</Title>\n</JobInfo>\n"},
        DocumentCase{"KeysThatAreNoNamesAreLeftOut",
                     {{u"1st", u"x"},
                      {u"a b", u"x"},
                      {u"", u"x"},
                      {u"<x>", u"x"},
                      {u"ok-1.2_", u"y"},
                      {u"-a", u"x"},
                      {u"\xD800", u"x"}},
                     "<JobInfo>\n    <ok-1.2_>y</ok-1.2_>\n</JobInfo>\n"},
        // Namespace-aware readers refuse a prefix that is never declared,
        // and a colon alone or at either end is no qualified name at all.
        DocumentCase{"KeysWithAColonAreLeftOut",
                     {{u"a:b", u"x"}, {u":", u"x"}, {u":a", u"x"}, {u"a:", u"x"}, {u"ab", u"y"}},
                     "<JobInfo>\n    <ab>y</ab>\n</JobInfo>\n"}),
    [](const ::testing::TestParamInfo<DocumentCase>& info) { return info.param.name; });

TEST(JobInfoDocumentTextTest, ForbiddenCharactersAreReplacedInTheDocument) {
    const std::string document = BuildJobInfoDocument({{u"T",
                                                        u"a\x01\xFFFE\xD800"
                                                        u"b"}});
    const std::string replacement = WideToAnsi(u"\xFFFD");
    EXPECT_NE(document.find("<T>a" + replacement + replacement + replacement + "b</T>"),
              std::string::npos)
        << document;
}

struct CharacterCase {
    const char* label;
    std::u16string text;
    std::u16string expected;
};

void PrintTo(const CharacterCase& characterCase, std::ostream* out) {
    *out << characterCase.label;
}

class XmlCharactersTest : public ::testing::TestWithParam<CharacterCase> {};

TEST_P(XmlCharactersTest, ForbiddenCharactersBecomeReplacementCharacters) {
    EXPECT_EQ(XmlCharactersOnly(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, XmlCharactersTest,
    ::testing::Values(
        CharacterCase{"TabLineFeedAndReturnStay", u"a\tb\nc\rd", u"a\tb\nc\rd"},
        CharacterCase{"ControlCharacters",
                      u"\x01"
                      u"a\x08\x0B\x0C\x1F",
                      u"\xFFFD"
                      u"a\xFFFD\xFFFD\xFFFD\xFFFD"},
        CharacterCase{"NullInside", std::u16string(u"a\0b", 3),
                      u"a\xFFFD"
                      u"b"},
        CharacterCase{"NonCharactersAtTheEndOfThePlane", u"\xFFFE\xFFFF\xFFFD",
                      u"\xFFFD\xFFFD\xFFFD"},
        CharacterCase{"UnpairedSurrogates",
                      u"\xD800"
                      u"a\xDC00\xDBFF",
                      u"\xFFFD"
                      u"a\xFFFD\xFFFD"},
        CharacterCase{"PairsStay", u"\xD83D\xDE00\xDBFF\xDFFF", u"\xD83D\xDE00\xDBFF\xDFFF"},
        CharacterCase{"DeleteAndC1ControlsAreAllowed", u"\x7F\x85\x9F", u"\x7F\x85\x9F"}),
    [](const ::testing::TestParamInfo<CharacterCase>& info) { return info.param.label; });

struct NameCase {
    const char* label;
    std::u16string name;
    bool valid;
};

void PrintTo(const NameCase& nameCase, std::ostream* out) {
    *out << nameCase.label;
}

class XmlNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(XmlNameTest, FollowsTheNameProduction) {
    EXPECT_EQ(IsXmlName(GetParam().name), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(Names, XmlNameTest,
                         ::testing::Values(NameCase{"Ascii", u"PageCount", true},
                                           NameCase{"Hangul", u"\uD55C\uAE00", true},
                                           NameCase{"OutsideTheBasicPlane", u"\U00010000x", true},
                                           NameCase{"CombiningMarkInside", u"a\u0300", true},
                                           NameCase{"CombiningMarkFirst", u"\u0300a", false},
                                           NameCase{"DigitFirst", u"9", false},
                                           NameCase{"EqualsSign", u"a=b", false},
                                           NameCase{"UnpairedLowSurrogate", u"a\xDC00", false}),
                         [](const ::testing::TestParamInfo<NameCase>& info) {
                             return info.param.label;
                         });

struct PathCase {
    const char* label;
    std::u16string jobFile;
    std::u16string info;
};

void PrintTo(const PathCase& pathCase, std::ostream* out) {
    *out << pathCase.label;
}

class JobInfoPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(JobInfoPathTest, ReplacesOnlyTheFinalExtension) {
    EXPECT_EQ(JobInfoPathFor(GetParam().jobFile), GetParam().info);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, JobInfoPathTest,
    ::testing::Values(PathCase{"WindowsFolder", u"C:\\Jobs\\202612072158030012.prn",
                               u"C:\\Jobs\\202612072158030012.info"},
                      PathCase{"ExtensionInFolderNames", u"C:\\a.prn\\b.prn.x\\1.prn",
                               u"C:\\a.prn\\b.prn.x\\1.info"},
                      PathCase{"PosixFolder", u"/home/u/spool.prn/1.prn",
                               u"/home/u/spool.prn/1.info"},
                      PathCase{"CutShort", u"/cut/short.pr", u"/cut/short.pr.info"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return info.param.label; });

class JobInfoFileTest : public test::SpoolFolderTest {};

TEST_F(JobInfoFileTest, WritesTheWholeDocumentUnderItsName) {
    const std::filesystem::path jobFile = jobs() / "202612072158030012.prn";
    const std::filesystem::path infoFile = jobs() / "202612072158030012.info";
    const std::u16string text = u"Pages=3\r\nCopies=1\nno entry here\n";
    ASSERT_EQ(WriteJobInfo(jobFile.u16string(), text.data(), text.size()), platform::kSuccess);
    const std::string nl = test::kTextLineEnd;
    EXPECT_EQ(ReadFileBytes(infoFile), "<?xml version=\"1.0\" encoding=\"" +
                                           platform::AnsiCodePageEncodingName() + "\"?>" + nl +
                                           "<JobInfo>" + nl + "    <Copies>1</Copies>" + nl +
                                           "    <Pages>3</Pages>" + nl + "</JobInfo>" + nl);
    EXPECT_EQ(FilesEndingWith(jobs(), "").size(), 1u);
}

// The document is made without a trace, so that a fuzzer's run stays quiet;
// the server's write names the key it left out, once.
TEST_F(JobInfoFileTest, NamesTheKeyThatWasLeftOut) {
    test::DebugCapture capture;
    BuildJobInfoDocument({{u"bad key", u"1"}});
    ASSERT_EQ(WriteJobInfo((jobs() / "1.prn").u16string(), u"bad key=1", 9), platform::kSuccess);
    ASSERT_TRUE(capture.Sync());
    std::string trace;
    for (const std::string& line : capture.Texts()) trace += line;
    EXPECT_NE(trace.find("left out: bad key"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("left out: bad key"), trace.rfind("left out: bad key")) << trace;
}

// Whatever stands at the information file's name, planted by somebody who
// may write to the folder, is never replaced or written through, and the
// document, which may hold the number, goes nowhere: a folder, and on POSIX
// a link to a file yet to come. (A planted file: JobVerdictTest.)
TEST_F(JobInfoFileTest, FailedReplaceLeavesNoFileBehind) {
    std::filesystem::create_directory(jobs() / "1.info");
#ifndef _WIN32
    std::filesystem::create_symlink(jobs() / "elsewhere", jobs() / "2.info");
#endif
    const auto before = FilesEndingWith(jobs(), "");
    const std::u16string text = u"PhoneNumber=2718281828";
    for (std::size_t job = 1; job <= before.size(); ++job) {
        const std::filesystem::path jobFile = jobs() / (std::to_string(job) + ".prn");
        EXPECT_EQ(WriteJobInfo(jobFile.u16string(), text.data(), text.size()),
                  platform::kAlreadyExists)
            << job;
    }
    EXPECT_EQ(FilesEndingWith(jobs(), ""), before);
    EXPECT_FALSE(std::filesystem::exists(jobs() / "elsewhere"));
}

}  // namespace
}  // namespace mossvane
