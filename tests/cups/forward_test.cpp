// Secure release against a real IPP printer (ippeveprinter on loopback):
// the number the user's server answers with reaches the printer once,
// hashed, inside Create-Job, and nothing else keeps it; a printer that
// can't hold jobs, one that can't be reached and one with another
// certificate end the job before anyone is asked.
#include <cups/ipp.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "fake_server.h"
#include "test_printer.h"
#include "two_user_cups.h"

namespace mossvane::cups::test {
namespace {

namespace fs = std::filesystem;

constexpr char kNumber[] = "90417263";
constexpr char16_t kAnswer[] = u"[Result]\nRETURN=OK\nPhoneNumber=90417263\n";
// What sha256sum prints for the number, worked out apart from the backend.
constexpr char kNumberSha256[] = "d7429495c7e960dcff33a93b0de0cfe2d174c381365875349e1ea96b2e56e55e";
constexpr char kForwardQueue[] = "mossvane-forward";

// The hashed number as the printer's log shows an octetString.
std::string HashAsLogged() {
    std::string bytes;
    for (std::size_t i = 0; i < 64; i += 2) {
        bytes += static_cast<char>(std::stoi(std::string(kNumberSha256 + i, 2), nullptr, 16));
    }
    ipp_t* message = ippNew();
    ipp_attribute_t* value = ippAddOctetString(message, IPP_TAG_OPERATION, "job-password",
                                               bytes.data(), static_cast<int>(bytes.size()));
    char text[256];
    ippAttributeString(value, text, sizeof text);
    ippDelete(message);
    return text;
}

class ForwardTest : public TwoUserCupsTest {
  protected:
    void SetUp() override {
        TwoUserCupsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (std::string why = TestPrinter::WhyUnavailable(); !why.empty()) GTEST_SKIP() << why;
    }

    // Starts a printer; the device URI that forwards to it, pinned.
    std::string StartPrinter(bool holdsJobs) {
        m_printer = std::make_unique<TestPrinter>(holdsJobs);
        EXPECT_EQ(m_printer->Start(), "");
        return Forwarding(m_printer->Uri(), m_printer->Fingerprint());
    }

    static std::string Forwarding(const std::string& printerUri, const std::string& pin) {
        return "mossvane:/?forward=" + printerUri + "&forward-cert=" + pin +
               "&forward-format=image/pwg-raster";
    }

    // Alice's server, as a stand-in that gives the number.
    FakeServerOptions AnsweringForAlice() {
        FakeServerOptions options;
        options.answer = kAnswer;
        options.uid = Alice().Uid();
        options.gid = Alice().Gid();
        return options;
    }

    std::unique_ptr<TestPrinter> m_printer;
};

TEST_F(ForwardTest, TheNumberReachesThePrinterOnceHashedAndNothingElseKeepsIt) {
    std::string uri = StartPrinter(true);
    FakeServer server(SocketPath(Alice()), AnsweringForAlice());
    ASSERT_EQ(s_cups->AddQueue(kForwardQueue, uri, true), "");
    std::string data(300000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);
    std::string output;
    int jobId = Print(kForwardQueue, &Alice(), "", data, output);
    ASSERT_NE(jobId, 0) << output;
    BackendEnd end = s_cups->WaitForBackendEnd(jobId, kJobTimeout);
    std::vector<std::string> log = s_cups->JobLog(jobId);
    ASSERT_TRUE(end.ended) << JoinLines(log);
    EXPECT_EQ(end.status, 0) << JoinLines(log);
    EXPECT_EQ(server.Request(), u"@=GETINFO");
    // The test printer prints at once, which the backend must not hide.
    EXPECT_TRUE(LogHas(log, "The printer did not hold the job")) << JoinLines(log);

    std::string printerLog = m_printer->Log();
    std::size_t hash = printerLog.find(HashAsLogged());
    EXPECT_NE(hash, std::string::npos) << printerLog;
    EXPECT_EQ(printerLog.find(HashAsLogged(), hash + 1), std::string::npos);
    EXPECT_EQ(printerLog.find(kNumber), std::string::npos);
    std::vector<fs::path> documents = m_printer->Documents();
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_TRUE(ReadFile(documents[0].string()) == data);

    // Not in cupsd's logs (at debug level), spool, cache or state.
    for (const fs::directory_entry& file : fs::recursive_directory_iterator(s_cups->Folder())) {
        if (!file.is_regular_file()) continue;
        EXPECT_EQ(ReadFile(file.path().string()).find(kNumber), std::string::npos) << file.path();
    }
    // Alice's home holds only the folders the test made.
    std::size_t entries = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Home(Alice()))) {
        EXPECT_TRUE(entry.is_directory()) << entry.path();
        ++entries;
    }
    EXPECT_EQ(entries, 2u);
}

struct RefusalCase {
    const char* name;
    bool holdsJobs;
    bool printerRuns;
    bool rightPin;
    int status;
    const char* message;
};

void PrintTo(const RefusalCase& param, std::ostream* out) {
    *out << param.name;
}

class ForwardRefusalTest : public ForwardTest, public ::testing::WithParamInterface<RefusalCase> {};

// Run as CUPS runs the backend for Alice's authenticated job.
TEST_P(ForwardRefusalTest, EndsTheJobBeforeAnyoneIsAsked) {
    const RefusalCase& param = GetParam();
    std::string printerUri = "ipps://localhost:" + std::to_string(TestPrinter::FreePort()) + "/ipp";
    std::string pin(64, '0');
    if (param.printerRuns) {
        m_printer = std::make_unique<TestPrinter>(param.holdsJobs);
        ASSERT_EQ(m_printer->Start(), "");
        printerUri = m_printer->Uri();
        if (param.rightPin) pin = m_printer->Fingerprint();
    }
    FakeServer server(SocketPath(Alice()), AnsweringForAlice());
    fs::path input = Home(Alice()) / "input.prn";
    WriteFile(input, "data");
    std::string uri = Forwarding(printerUri, pin);
    std::string output;
    int status = RunToEnd(BackendProgram(),
                          BackendOptions(uri,
                                         {"77", Alice().Name(), "Form", "1",
                                          "job-originating-host-name=localhost", input.string()},
                                         AuthenticatedBy(Alice())),
                          output, kJobTimeout);
    EXPECT_EQ(status, param.status) << output;
    EXPECT_NE(output.find(param.message), std::string::npos) << output;
    EXPECT_EQ(server.Request(), u"");
    std::string printerLog = m_printer ? m_printer->Log() : "";
    EXPECT_EQ(printerLog.find("operation-id=Create-Job"), std::string::npos) << printerLog;
}

INSTANTIATE_TEST_SUITE_P(Printers, ForwardRefusalTest,
                         ::testing::Values(RefusalCase{"PrinterThatCantHoldJobs", false, true, true,
                                                       4, "can't hold a job"},
                                           RefusalCase{"ClosedPort", true, false, false, 6,
                                                       "tried again later"},
                                           RefusalCase{"WrongCertificate", true, true, false, 4,
                                                       "not the one forward-cert names"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mossvane::cups::test
