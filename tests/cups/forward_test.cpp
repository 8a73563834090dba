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
// What sha256sum prints for the number, worked out apart from the backend.
constexpr char kNumberSha256[] = "d7429495c7e960dcff33a93b0de0cfe2d174c381365875349e1ea96b2e56e55e";
constexpr char kForwardQueue[] = "mossvane-forward";

// The hashed number as the printer's log shows an octetString.
std::string HashAsLogged() {
    char bytes[32], text[256];
    for (int i = 0; i < 32; ++i) bytes[i] = std::stoi(std::string(kNumberSha256 + 2 * i, 2), 0, 16);
    ipp_t* message = ippNew();
    ippAttributeString(ippAddOctetString(message, IPP_TAG_OPERATION, "job-password", bytes, 32),
                       text, sizeof text);
    ippDelete(message);
    return text;
}

class ForwardTest : public TwoUserCupsTest {
  protected:
    void SetUp() override {
        TwoUserCupsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (std::string why = TestPrinter::WhyUnavailable(); !why.empty()) GTEST_SKIP() << why;
        StartAlicesServer(std::chrono::milliseconds(0));
    }

    // Alice's server, as a stand-in that gives the number after `delay`.
    void StartAlicesServer(std::chrono::milliseconds delay) {
        m_server.reset();
        m_server.emplace(SocketPath(Alice()),
                         FakeServerOptions{.answer = u"[Result]\nRETURN=OK\nPhoneNumber=90417263\n",
                                           .answerDelay = delay,
                                           .uid = Alice().Uid(),
                                           .gid = Alice().Gid()});
    }

    // Alice prints `data` through a queue that forwards to a new test printer.
    BackendEnd ForwardAlicesJob(const std::string& data, std::vector<std::string>& log) {
        m_printer = std::make_unique<TestPrinter>(true);
        EXPECT_EQ(m_printer->error, "");
        EXPECT_EQ(s_cups->AddQueue(kForwardQueue,
                                   Forwarding(m_printer->uri, m_printer->Fingerprint()), true),
                  "");
        std::string output;
        int jobId = Print(kForwardQueue, &Alice(), "", data, output);
        EXPECT_NE(jobId, 0) << output;
        BackendEnd end = s_cups->WaitForBackendEnd(jobId, kJobTimeout);
        log = s_cups->JobLog(jobId);
        return end;
    }

    // The device URI that forwards to the printer, pinned to `pin`.
    static std::string Forwarding(const std::string& printerUri, const std::string& pin) {
        return "mossvane:/?forward=" + printerUri + "&forward-cert=" + pin +
               "&forward-format=image/pwg-raster";
    }

    std::optional<FakeServer> m_server;
    std::unique_ptr<TestPrinter> m_printer;
};

TEST_F(ForwardTest, TheNumberReachesThePrinterOnceHashedAndNothingElseKeepsIt) {
    std::string data(300000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);
    std::vector<std::string> log;
    BackendEnd end = ForwardAlicesJob(data, log);
    ASSERT_TRUE(end.ended) << JoinLines(log);
    EXPECT_EQ(end.status, 0) << JoinLines(log);
    EXPECT_EQ(m_server->Request(), u"@=GETINFO");
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

    // Not in cupsd's logs (at debug level), spool, cache or state; Alice's
    // home holds only the two folders the test made.
    for (const fs::directory_entry& file : fs::recursive_directory_iterator(s_cups->Folder())) {
        if (!file.is_regular_file()) continue;
        EXPECT_EQ(ReadFile(file.path().string()).find(kNumber), std::string::npos) << file.path();
    }
    std::size_t entries = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Home(Alice()))) {
        EXPECT_TRUE(entry.is_directory()) << entry.path();
        ++entries;
    }
    EXPECT_EQ(entries, 2u);
}

// A user who takes long to type may find the printer's connection gone; the
// job goes out over a new one, its certificate checked again.
TEST_F(ForwardTest, AfterASlowAnswerTheJobStillReachesThePrinter) {
    StartAlicesServer(std::chrono::seconds(6));
    std::vector<std::string> log;
    BackendEnd end = ForwardAlicesJob("slow answer", log);
    ASSERT_TRUE(end.ended) << JoinLines(log);
    EXPECT_EQ(end.status, 0) << JoinLines(log);
    std::vector<fs::path> documents = m_printer->Documents();
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_EQ(ReadFile(documents[0].string()), "slow answer");
}

struct RefusalCase {
    const char* name;  // Each case breaks one thing: the printer's, the port's, the pin's.
    int status;
    const char* message;
};

void PrintTo(const RefusalCase& param, std::ostream* out) {
    *out << param.name;
}

class ForwardRefusalTest : public ForwardTest, public ::testing::WithParamInterface<RefusalCase> {};

// Run as CUPS runs the backend for Alice's authenticated job.
TEST_P(ForwardRefusalTest, EndsTheJobBeforeAnyoneIsAsked) {
    const std::string name = GetParam().name;
    std::string printerUri = "ipps://localhost:" + std::to_string(FreeLoopbackPort()) + "/ipp";
    std::string pin(64, '0'), output;
    if (name != "ClosedPort") {
        m_printer = std::make_unique<TestPrinter>(name != "PrinterThatCantHoldJobs");
        ASSERT_EQ(m_printer->error, "");
        printerUri = m_printer->uri;
        if (name != "WrongCertificate") pin = m_printer->Fingerprint();
    }
    fs::path input = Home(Alice()) / "input.prn";
    WriteFile(input, "data");
    std::vector<std::string> arguments = {
        "77", Alice().Name(), "Form", "1", "job-originating-host-name=localhost", input.string()};
    EXPECT_EQ(
        RunToEnd(BackendProgram(),
                 BackendOptions(Forwarding(printerUri, pin), arguments, AuthenticatedBy(Alice())),
                 output, kJobTimeout),
        GetParam().status)
        << output;
    EXPECT_NE(output.find(GetParam().message), std::string::npos) << output;
    EXPECT_EQ(m_server->Request(), u"");
    std::string printerLog = m_printer ? m_printer->Log() : "";
    EXPECT_EQ(printerLog.find("operation-id=Create-Job"), std::string::npos) << printerLog;
}

INSTANTIATE_TEST_SUITE_P(
    Printers, ForwardRefusalTest,
    ::testing::Values(RefusalCase{"PrinterThatCantHoldJobs", 4, "can't hold a job"},
                      RefusalCase{"ClosedPort", 6, "tried again later"},
                      RefusalCase{"WrongCertificate", 4, "not the one forward-cert names"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mossvane::cups::test
