// The job commands of one connection against a real data folder.
#include "pipe/job_spool.h"

#include <gtest/gtest.h>

#include <fstream>

#include "l10n/text_keys.h"
#include "pipe/job_file.h"
#include "pipe/job_warning.h"
#include "platform/codepage.h"
#include "spool_fixture.h"
#include "support/debug_capture.h"
#include "support/table_provider.h"
#include "wire/job_message.h"

namespace mossvane {
namespace {

using namespace test;  // the spool folder helpers

using Bytes = std::vector<std::uint8_t>;

const Bytes kMarker(kEndOfJobMarker, kEndOfJobMarker + kEndOfJobMarkerSize);

constexpr char kLongPieceLine[] =
    "[PI] [Pipe - InstanceThread]Write Endd... d.d.d.d.d...dwDataLength>9";
constexpr char kDividedPieceLine[] =
    "[PI][EXE] [Pipe - InstanceThread]Write Endd... d.d.d.d.d...divided piece";
constexpr char kNoJobLine[] = "[PI][InstantThread] bCreateJob is false or invalid handle";
constexpr char kNoEndLine[] = "[PI][InstantThread] bWriteEnd is false or invalid handle";

int g_warningsShown = 0;
void CountWarning() {
    ++g_warningsShown;
}

// `size` bytes of data whose end is `ending`.
Bytes PieceEndingWith(std::size_t size, const Bytes& ending) {
    Bytes piece(size - ending.size(), 0);
    for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<std::uint8_t>(i * 7);
    piece.insert(piece.end(), ending.begin(), ending.end());
    return piece;
}

Bytes MarkerPart(std::size_t from, std::size_t to) {
    return Bytes(kMarker.begin() + from, kMarker.begin() + to);
}

class JobSpoolTest : public test::SpoolFolderTest {
  protected:
    void SetUp() override {
        SpoolFolderTest::SetUp();
        g_warningsShown = 0;
    }

    bool Create(std::uint32_t jobNumber) {
        const Bytes message = EncodeCreateJob(jobNumber);
        return m_spool.Dispatch(CREATE_JOB_CMD, message.data() + kJobHeaderSize,
                                message.size() - kJobHeaderSize);
    }
    bool Write(const Bytes& piece) {
        return m_spool.Dispatch(WRITE_JOB_CMD, piece.data(), piece.size());
    }
    bool End(std::u16string_view information) {
        const Bytes message = EncodeEndJob(information);
        return m_spool.Dispatch(END_JOB_CMD, message.data() + kJobHeaderSize,
                                message.size() - kJobHeaderSize);
    }

    std::string Trace() {
        EXPECT_TRUE(m_capture.Sync());
        std::string trace;
        for (const std::string& text : m_capture.Texts()) trace += text;
        return trace;
    }

    std::vector<std::filesystem::path> JobFiles() const { return FilesEndingWith(jobs(), ".prn"); }
    std::vector<std::filesystem::path> InfoFiles() const {
        return FilesEndingWith(jobs(), ".info");
    }

  private:
    test::DebugCapture m_capture;
    JobSpool m_spool{CountWarning};
};

TEST_F(JobSpoolTest, PiecesAreStoredByteForByteAndTheInformationFollows) {
    const std::vector<Bytes> pieces = {PieceEndingWith(kMaxJobPayload, {0x1F, 0x00}), Bytes{},
                                       Bytes{0x0D, 0x0A, 0x1A}, PieceEndingWith(10, {0xFF}),
                                       PieceEndingWith(700, kMarker)};
    ASSERT_TRUE(Create(12));
    std::string expected;
    for (const Bytes& piece : pieces) {
        ASSERT_TRUE(Write(piece));
        expected.append(piece.begin(), piece.end());
    }
    EXPECT_FALSE(End(u"b=2\na=1"));

    const auto jobFiles = JobFiles();
    ASSERT_EQ(jobFiles.size(), 1u);
    EXPECT_EQ(ReadFileBytes(jobFiles[0]), expected);
    const std::string name = jobFiles[0].stem().string();
    ASSERT_EQ(name.size(), 18u);
    EXPECT_EQ(name.find_first_not_of("0123456789"), std::string::npos) << name;
    EXPECT_EQ(name.substr(14), "0012");
    EXPECT_NE(Trace().find("[PI][Pipe - InstanceThread]Job is created : " + name),
              std::string::npos);

    const auto infoFiles = InfoFiles();
    ASSERT_EQ(infoFiles.size(), 1u);
    EXPECT_EQ(infoFiles[0].stem(), jobFiles[0].stem());
    const std::string nl = test::kTextLineEnd;
    EXPECT_EQ(ReadFileBytes(infoFiles[0]), "<?xml version=\"1.0\" encoding=\"" +
                                               platform::AnsiCodePageEncodingName() + "\"?>" + nl +
                                               "<JobInfo>" + nl + "    <a>1</a>" + nl +
                                               "    <b>2</b>" + nl + "</JobInfo>" + nl);
    // Nothing of the temporary file the information went through is left.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(jobs()),
                            std::filesystem::directory_iterator()),
              2);
}

struct MarkerCase {
    const char* name;
    std::vector<Bytes> pieces;
    bool found;
    const char* line;  // expected in the trace, or null
};

void PrintTo(const MarkerCase& markerCase, std::ostream* out) {
    *out << markerCase.name;
}

class EndOfJobMarkerTest : public JobSpoolTest, public ::testing::WithParamInterface<MarkerCase> {};

TEST_P(EndOfJobMarkerTest, DecidesWhetherTheJobGetsItsInformation) {
    ASSERT_TRUE(Create(1));
    for (const Bytes& piece : GetParam().pieces) ASSERT_TRUE(Write(piece));
    EXPECT_FALSE(End(u"a=1"));
    EXPECT_EQ(JobFiles().size(), 1u);
    EXPECT_EQ(InfoFiles().size(), GetParam().found ? 1u : 0u);
    const std::string trace = Trace();
    if (GetParam().line) {
        EXPECT_NE(trace.find(GetParam().line), std::string::npos) << trace;
    }
    EXPECT_EQ(trace.find(kNoEndLine) != std::string::npos, !GetParam().found) << trace;
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, EndOfJobMarkerTest,
    ::testing::Values(
        MarkerCase{"AtTheEndOfALongPiece", {PieceEndingWith(100, kMarker)}, true, kLongPieceLine},
        MarkerCase{"SplitFiveAndFour",
                   {PieceEndingWith(100, MarkerPart(0, 5)), MarkerPart(5, 9)},
                   true,
                   kDividedPieceLine},
        MarkerCase{
            "AloneInAPieceOfNine", {PieceEndingWith(50, {}), kMarker}, true, kDividedPieceLine},
        MarkerCase{"SplitOverThreePieces",
                   {PieceEndingWith(100, MarkerPart(0, 3)), MarkerPart(3, 6), MarkerPart(6, 9)},
                   false,
                   nullptr},
        MarkerCase{"FollowedByMoreData",
                   {PieceEndingWith(100, MarkerPart(0, 9)), Bytes(10, 1)},
                   true,
                   kLongPieceLine},
        MarkerCase{"Missing", {PieceEndingWith(100, MarkerPart(0, 8))}, false, nullptr}),
    [](const ::testing::TestParamInfo<MarkerCase>& info) { return info.param.name; });

struct JobNumberCase {
    std::uint32_t number;
    const char* digits;
};

void PrintTo(const JobNumberCase& numberCase, std::ostream* out) {
    *out << numberCase.number;
}

class JobNumberTest : public JobSpoolTest, public ::testing::WithParamInterface<JobNumberCase> {};

TEST_P(JobNumberTest, EndsTheFileNameModuloTenThousand) {
    ASSERT_TRUE(Create(GetParam().number));
    const auto jobFiles = JobFiles();
    ASSERT_EQ(jobFiles.size(), 1u);
    EXPECT_EQ(jobFiles[0].stem().string().substr(14), GetParam().digits);
}

INSTANTIATE_TEST_SUITE_P(Numbers, JobNumberTest,
                         ::testing::Values(JobNumberCase{7, "0007"}, JobNumberCase{123456, "3456"},
                                           JobNumberCase{0xFFFFFFFF, "7295"}),
                         [](const ::testing::TestParamInfo<JobNumberCase>& info) {
                             return "Job" + std::to_string(info.param.number);
                         });

TEST_F(JobSpoolTest, WriteWithoutAJobWarnsAndEnds) {
    EXPECT_FALSE(Write(kMarker));
    EXPECT_EQ(g_warningsShown, 1);
    EXPECT_NE(Trace().find(kNoJobLine), std::string::npos);
    EXPECT_TRUE(JobFiles().empty());
}

TEST_F(JobSpoolTest, NameTakenByAnotherJobEndsTheConnectionAndLeavesItAlone) {
    // Whatever second the job is created in, its name is taken already.
    const platform::UtcTime now = platform::CurrentUtcTime();
    std::vector<std::filesystem::path> taken;
    for (int offset = -1; offset <= 60; ++offset) {
        platform::UtcTime time = now;
        const int seconds = now.hour * 3600 + now.minute * 60 + now.second + offset;
        if (seconds < 0 || seconds >= 24 * 3600) continue;  // midnight: a rare retry
        time.hour = static_cast<std::uint16_t>(seconds / 3600);
        time.minute = static_cast<std::uint16_t>(seconds / 60 % 60);
        time.second = static_cast<std::uint16_t>(seconds % 60);
        taken.push_back(jobs() /
                        std::filesystem::path(FormatJobFileName(time, 10005) + kJobFileExtension));
        WriteBytes(taken.back(), "earlier job");
    }
    EXPECT_FALSE(Create(5));
    EXPECT_FALSE(Write(kMarker));
    EXPECT_EQ(g_warningsShown, 1);
    for (const auto& path : taken) EXPECT_EQ(ReadFileBytes(path), "earlier job") << path;
    EXPECT_NE(Trace().find("Job file already exists"), std::string::npos);
}

TEST_F(JobSpoolTest, SecondCreateClosesTheFirstJobAndStartsAfresh) {
    ASSERT_TRUE(Create(1));
    ASSERT_TRUE(Write(PieceEndingWith(40, kMarker)));
    ASSERT_TRUE(Create(2));
    ASSERT_TRUE(Write(PieceEndingWith(20, {})));
    // The marker belonged to the first job: the second one is incomplete.
    EXPECT_FALSE(End(u"a=1"));
    const auto jobFiles = JobFiles();
    ASSERT_EQ(jobFiles.size(), 2u);
    EXPECT_TRUE(InfoFiles().empty());
    // Closed: the first file opens again (job files are opened without sharing).
    const auto first = jobFiles[0].stem().string().ends_with("0001") ? jobFiles[0] : jobFiles[1];
    std::ifstream reopened(first, std::ios::binary);
    EXPECT_TRUE(reopened.is_open());
    EXPECT_EQ(ReadFileBytes(first).size(), 40u);
}

// POSIX lets the job file, or its whole folder, be removed while the job is
// written; the writes then go into a file without a name and are lost.
// Windows refuses both while the file is open without delete sharing.
class RemovedJobFileTest : public JobSpoolTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RemovedJobFileTest, WarnsAndWritesNoInformation) {
#ifdef _WIN32
    GTEST_SKIP() << "an open job file can't be removed";
#endif
    const bool wholeFolder = GetParam();
    ASSERT_TRUE(Create(3));
    ASSERT_TRUE(Write(PieceEndingWith(40, {})));
    const auto jobFiles = JobFiles();
    ASSERT_EQ(jobFiles.size(), 1u);
    if (wholeFolder) {
        std::filesystem::remove_all(jobs());
        std::filesystem::create_directory(jobs());
    } else {
        std::filesystem::remove(jobFiles[0]);
    }
    ASSERT_TRUE(Write(PieceEndingWith(40, kMarker)));
    EXPECT_FALSE(End(u"a=1"));
    EXPECT_EQ(g_warningsShown, 1);
    EXPECT_NE(Trace().find("END_JOB_CMD - job file was removed : " + jobFiles[0].string()),
              std::string::npos);
    EXPECT_TRUE(InfoFiles().empty());
    EXPECT_TRUE(JobFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(What, RemovedJobFileTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Folder" : "File";
                         });

TEST(JobWarningTextsTest, DefaultsAreKoreanAndEscapedLineBreaksBreak) {
    LocalizeConsumer none(nullptr);
    const JobWarningTexts defaults = LoadJobWarningTexts(none);
    EXPECT_EQ(defaults.caption, u"경고");
    EXPECT_EQ(defaults.message, kTextFailToCreatePrintJob.defaultText);

    test::TableProvider table({{u"SFPI/Warning", u"Caption\\r\\n"},
                               {u"SFPI/FailToCreatePrintJob", u"One.\\r\\nTwo.\\r\\n\\r\\\\r\\n"}});
    const JobWarningTexts texts = LoadJobWarningTexts(LocalizeConsumer(&table));
    EXPECT_EQ(texts.caption, u"Caption\\r\\n");
    EXPECT_EQ(texts.message, u"One.\r\nTwo.\r\n\\r\\\r\n");
}

}  // namespace
}  // namespace mossvane
