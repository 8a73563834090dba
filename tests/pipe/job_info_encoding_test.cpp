// The information file's bytes are in the ANSI code page, and its
// declaration names that encoding, so XML readers decode it as written.
#include <gtest/gtest.h>

#include <string>

#include "pipe/job_info.h"
#include "platform/codepage.h"

namespace mossvane {
namespace {

struct CodePageCase {
    std::uint32_t codePage;
    const char* name;
};

void PrintTo(const CodePageCase& c, std::ostream* out) {
    *out << c.codePage;
}

class EncodingNameTest : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(EncodingNameTest, IsTheNameXmlReadersKnowThePageBy) {
    EXPECT_EQ(platform::EncodingNameOfCodePage(GetParam().codePage), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    AnsiCodePages, EncodingNameTest,
    ::testing::Values(CodePageCase{1252, "windows-1252"}, CodePageCase{1250, "windows-1250"},
                      CodePageCase{1251, "windows-1251"}, CodePageCase{1258, "windows-1258"},
                      CodePageCase{874, "windows-874"}, CodePageCase{932, "Windows-31J"},
                      CodePageCase{936, "GBK"}, CodePageCase{949, "KS_C_5601-1987"},
                      CodePageCase{950, "Big5"}, CodePageCase{65001, "UTF-8"},
                      CodePageCase{437, "windows-437"}),
    [](const auto& info) { return std::to_string(info.param.codePage); });

// What the document holds for a non-ASCII value on the page the test runs
// with: Wine's Western default (1252) or UTF-8 (POSIX, or a Windows set to
// UTF-8).
struct PageDocumentCase {
    std::uint32_t codePage;
    const char* declaration;
    const char* value;  // "Überweisung" on that page
};

TEST(JobInfoEncodingTest, DeclarationNamesThePageTheBytesAreIn) {
    const PageDocumentCase cases[] = {
        {1252, "<?xml version=\"1.0\" encoding=\"windows-1252\"?>",
         "\xDC"
         "berweisung"},
        {platform::kUtf8CodePage, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
         "\xC3\x9C"
         "berweisung"},
    };
    const std::string document = BuildJobInfoDocument({{u"Title", u"\u00DCberweisung"}});
    for (const PageDocumentCase& c : cases) {
        if (c.codePage != platform::AnsiCodePage()) continue;
        EXPECT_EQ(document.rfind(c.declaration, 0), 0u) << document;
        EXPECT_NE(document.find(std::string("<Title>") + c.value + "</Title>"), std::string::npos)
            << document;
        return;
    }
    GTEST_SKIP() << "no expectation for code page " << platform::AnsiCodePage();
}

}  // namespace
}  // namespace mossvane
