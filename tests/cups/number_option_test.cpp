// The backend against a stand-in for the job user's server, started as CUPS
// starts it (as root, for a job CUPS authenticated): with pin=ask the number
// the server answers with goes into the job information and nowhere else the
// backend writes; the backend trusts only a server of the job user in the
// user's own folder, and never waits on one without a bound.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "child_process.h"
#include "fake_server.h"
#include "params/param_text.h"
#include "server_harness.h"
#include "two_user_cups.h"

namespace mossvane::cups::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::uint8_t kCreateJobCommand = 1;
constexpr std::uint8_t kWriteJobCommand = 2;
constexpr std::uint8_t kEndJobCommand = 3;
constexpr char kFromThisHost[] = "job-originating-host-name=localhost";

ParamMap DecodeInformation(const std::vector<std::uint8_t>& payload) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < payload.size(); i += 2) {
        char16_t c = static_cast<char16_t>(payload[i] | (payload[i + 1] << 8));
        if (c == 0) break;
        text += c;
    }
    ParamMap set;
    ParseParamText(text.data(), static_cast<std::uint32_t>(text.size()), set);
    return set;
}

bool HasEndMessage(const std::vector<ReceivedMessage>& messages) {
    for (const ReceivedMessage& message : messages) {
        if (message.command == kEndJobCommand) return true;
    }
    return false;
}

FakeServerOptions Answering(const std::u16string& answer) {
    FakeServerOptions options;
    options.answer = answer;
    return options;
}

class StandInServerTest : public TwoUserCupsTest {
  protected:
    // Alice's server as a stand-in, made by Alice unless told otherwise.
    FakeServerOptions AsServerOf(const ThrowawayUser& user, FakeServerOptions options = {}) {
        options.uid = user.Uid();
        options.gid = user.Gid();
        return options;
    }

    // The backend as CUPS runs it for Alice's authenticated job 77.
    ProcessOptions AlicesJob(const std::string& uri, const std::string& data,
                             std::vector<std::string> environment = AuthenticatedBy(Alice()),
                             const std::string& options = kFromThisHost) {
        fs::path input = Home(Alice()) / "input.prn";
        std::ofstream(input, std::ios::binary) << data;
        return BackendOptions(uri, {"77", Alice().Name(), "Form", "1", options, input.string()},
                              environment);
    }

    int RunAlicesJob(const std::string& uri, std::string& output,
                     const std::string& data = "%!PS\nshowpage\n") {
        return RunToEnd(BackendProgram(), AlicesJob(uri, data), output, kJobTimeout);
    }
};

TEST_F(StandInServerTest, GivenNumberGoesIntoTheJobInformationOnly) {
    FakeServer server(
        SocketPath(Alice()),
        AsServerOf(Alice(), Answering(u"[Result]\nRETURN=OK\nPhoneNumber=90417263\n")));
    ASSERT_TRUE(server.IsListening());
    std::string output;
    EXPECT_EQ(RunAlicesJob("mossvane:/?pin=ask", output), 0) << output;

    std::u16string request;
    std::vector<ReceivedMessage> messages;
    ASSERT_TRUE(server.WaitForJob(request, messages));
    EXPECT_EQ(request, u"@=GETINFO");
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages.back().command, kEndJobCommand);
    ParamMap information = DecodeInformation(messages.back().payload);
    EXPECT_EQ(information[u"PhoneNumber"], u"90417263");
    EXPECT_EQ(information[u"JobId"], u"77");
    EXPECT_EQ(output.find("90417263"), std::string::npos) << output;
    EXPECT_NE(output.find("INFO: "), std::string::npos) << output;
}

struct RefusedAnswer {
    const char* name;
    const char16_t* answer;
    int status;
};

void PrintTo(const RefusedAnswer& param, std::ostream* out) {
    *out << param.name;
}

class NumberRefusalTest : public StandInServerTest,
                          public ::testing::WithParamInterface<RefusedAnswer> {};

// The backend has ended without a second connection: no job was sent.
TEST_P(NumberRefusalTest, EndsTheJobWithoutSendingIt) {
    FakeServer server(SocketPath(Alice()), AsServerOf(Alice(), Answering(GetParam().answer)));
    ASSERT_TRUE(server.IsListening());
    std::string output;
    EXPECT_EQ(RunAlicesJob("mossvane:/?pin=ask", output), GetParam().status) << output;
    EXPECT_NE(output.find("ERROR: "), std::string::npos) << output;
    EXPECT_EQ(server.Request(), u"@=GETINFO");
    EXPECT_EQ(server.MessageCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, NumberRefusalTest,
    ::testing::Values(RefusedAnswer{"Cancelled", u"[Result]\nRETURN=CANCEL\n", 5},
                      RefusedAnswer{"TooShort", u"[Result]\nRETURN=OK\nPhoneNumber=12\n", 5},
                      RefusedAnswer{"Nothing", u"", 5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StandInServerTest, WithoutTheOptionTheFirstConnectionIsTheJob) {
    FakeServer server(SocketPath(Alice()), AsServerOf(Alice()));
    ASSERT_TRUE(server.IsListening());
    std::string output;
    EXPECT_EQ(RunAlicesJob("mossvane:/", output), 0) << output;
    std::u16string request;
    std::vector<ReceivedMessage> messages;
    ASSERT_TRUE(server.WaitForJob(request, messages));
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages.front().command, kCreateJobCommand);
    EXPECT_EQ(messages[1].command, kWriteJobCommand);
    EXPECT_EQ(DecodeInformation(messages.back().payload).count(u"PhoneNumber"), 0u);
}

// How the server ends the job, and what the backend makes of it: only an
// orderly end after the whole job is a stored job; a job surely not stored
// is tried again later, one that may have been is held, and a server that
// hangs costs the queue a bounded time, set in the URI.
struct OutcomeCase {
    const char* name;
    const char* uri;
    FakeServerOptions server;
    std::size_t dataSize;
    int status;
    const char* message;
    std::string options = kFromThisHost;
};

void PrintTo(const OutcomeCase& param, std::ostream* out) {
    *out << param.name;
}

class ServerOutcomeTest : public StandInServerTest,
                          public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(ServerOutcomeTest, DecidesTheJobsFate) {
    FakeServer server(SocketPath(Alice()), AsServerOf(Alice(), GetParam().server));
    ASSERT_TRUE(server.IsListening());
    std::string output;
    ProcessOptions backend = AlicesJob(GetParam().uri, std::string(GetParam().dataSize, 'x'),
                                       AuthenticatedBy(Alice()), GetParam().options);
    EXPECT_EQ(RunToEnd(BackendProgram(), backend, output, kJobTimeout), GetParam().status)
        << output;
    EXPECT_NE(output.find(GetParam().message), std::string::npos) << output;
    if (GetParam().status != 0) return;
    std::u16string request;
    std::vector<ReceivedMessage> messages;
    ASSERT_TRUE(server.WaitForJob(request, messages));
    ASSERT_FALSE(messages.empty());
    // The options recorded are the first ones given, whole.
    std::u16string given(GetParam().options.begin(), GetParam().options.end());
    std::u16string recorded = DecodeInformation(messages.back().payload)[u"Options"];
    EXPECT_EQ(given.substr(0, recorded.size()), recorded);
    EXPECT_TRUE(recorded.size() == given.size() || given[recorded.size()] == u' ');
}

// Far more options than one message holds.
std::string ManyOptions() {
    std::string options = kFromThisHost;
    for (int i = 0; i < 400; ++i) options += " option-" + std::to_string(i) + "=value";
    return options;
}

constexpr std::size_t kSmall = 100;
constexpr std::size_t kLarge = 4 << 20;  // More than the socket holds.
constexpr char kPlain[] = "mossvane:/", kBounded[] = "mossvane:/?data-timeout=1";
using O = OutcomeCase;

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Ends, ServerOutcomeTest,
    ::testing::Values(
        O{"Stored", kPlain, {}, kSmall, 0, "INFO: Job sent: 100 bytes"},
        O{"StoredWithOptionsShortened", kPlain, {}, kSmall, 0,
          "INFO: The job's options were shortened", ManyOptions()},
        O{"NameTaken", kPlain, {.keepMessages = 1}, kLarge, 6, "did not take the job"},
        O{"FilesNotWritten", kPlain, {.jobEnd = JobEnd::Failure}, kSmall, 6,
          "did not store the job"},
        O{"EndedEarly", kPlain, {.jobEnd = JobEnd::Reset}, kSmall, 6,
          "broke before the server stored the job"},
        O{"StalledMidJob", kBounded, {.keepMessages = 1, .hangWhenFull = true}, kLarge, 6,
          "took no more of the job within 1 seconds (data-timeout)"},
        O{"StalledAfterTheJob", kBounded, {.jobEnd = JobEnd::Stall}, kSmall, 3,
          "whether it stored the job is unknown; the job is held"},
        O{"NumberNeverAnswered", "mossvane:/?pin=ask&pin-timeout=1",
          {.answer = u"", .neverAnswer = true}, kSmall, 5, "within 1 seconds (pin-timeout)"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// CUPS cancels a job with SIGTERM: the backend ends there and then, even
// when its parent left the signal ignored, and the server sees the job
// break off rather than end.
TEST_F(StandInServerTest, TerminationEndsTheJobUnfinished) {
    FakeServerOptions options;
    options.keepMessages = 2;
    options.hangWhenFull = true;
    FakeServer server(SocketPath(Alice()), AsServerOf(Alice(), options));
    ASSERT_TRUE(server.IsListening());
    ProcessOptions backend = AlicesJob("mossvane:/", std::string(4 << 20, 'x'));
    backend.output = (Home(Alice()) / "backend.out").string();
    backend.ignoreTermination = true;
    auto process = Process::Start(BackendProgram(), backend);
    ASSERT_NE(process, nullptr);
    ASSERT_TRUE(testing::WaitUntil([&] { return server.MessageCount() == 2; }, kJobTimeout));
    process->Stop(10s);
    EXPECT_EQ(process->ExitCode(), 128 + SIGTERM) << ReadFile(backend.output);
    std::u16string request;
    std::vector<ReceivedMessage> messages;
    server.WaitForJob(request, messages);
    EXPECT_FALSE(HasEndMessage(messages));
}

// Before anything is sent: the job's owner is proven, the runtime folder is
// the user's own, the server runs as the user, the runtime root is absolute.
struct TrustCase {
    const char* name;
    int status;
    const char* message;
};

void PrintTo(const TrustCase& param, std::ostream* out) {
    *out << param.name;
}

class UntrustedEndTest : public StandInServerTest, public ::testing::WithParamInterface<TrustCase> {
  protected:
    // Spoils one thing for the case; the backend's options and environment.
    void Spoil(std::vector<std::string>& environment, std::string& options) {
        std::string name = GetParam().name;
        fs::path folder = UserRuntime(Alice());
        if (name == "NotAuthenticated") environment.clear();
        if (name == "AuthenticatedAsAnotherUser") environment = AuthenticatedBy(Bob());
        if (name == "FromAnotherHost") options = "job-originating-host-name=192.0.2.7";
        if (name == "HostNotNamed") options = "";
        if (name == "RuntimeFolderOfAnotherUser") {
            ASSERT_EQ(chown(folder.c_str(), Bob().Uid(), Bob().Gid()), 0);
        }
        if (name == "RuntimeFolderOpenToOthers") {
            ASSERT_EQ(chmod(folder.c_str(), 0733), 0);
        }
        if (name == "RuntimeFolderIsALink") {
            fs::rename(folder, folder.string() + "-real");
            fs::create_directory_symlink(folder.string() + "-real", folder);
        }
        if (name == "RelativeRuntimeRoot") environment.push_back("MOSSVANE_CUPS_RUNTIME_ROOT=run");
    }
};

TEST_P(UntrustedEndTest, NothingIsSent) {
    // Another user's socket in Alice's folder: as if it had been open for a
    // moment (root's would do as well), which the folder check alone misses.
    bool otherServer = std::string(GetParam().name) == "ServerOfAnotherUser";
    fs::path folder = UserRuntime(Alice());
    if (otherServer) {
        ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    }
    FakeServer server(SocketPath(Alice()), AsServerOf(otherServer ? Bob() : Alice(),
                                                      Answering(u"[Result]\nRETURN=CANCEL\n")));
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    ASSERT_TRUE(server.IsListening());
    if (otherServer) {  // Whoever plants a socket lets the victim connect.
        ASSERT_EQ(chmod(SocketPath(Alice()).c_str(), 0666), 0);
    }
    std::vector<std::string> environment = AuthenticatedBy(Alice());
    std::string options = kFromThisHost;
    Spoil(environment, options);
    std::string output;
    EXPECT_EQ(
        RunToEnd(BackendProgram(), AlicesJob("mossvane:/?pin=ask", "data", environment, options),
                 output, kJobTimeout),
        GetParam().status)
        << output;
    EXPECT_NE(output.find("ERROR: "), std::string::npos) << output;
    EXPECT_NE(output.find(GetParam().message), std::string::npos) << output;
    EXPECT_EQ(server.Request(), u"");
    EXPECT_EQ(server.MessageCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UntrustedEndTest,
    ::testing::Values(TrustCase{"NotAuthenticated", 5, "printer-op-policy=authenticated"},
                      TrustCase{"AuthenticatedAsAnotherUser", 5,
                                "CUPS authenticated someone other"},
                      TrustCase{"FromAnotherHost", 5, "submitted from another host"},
                      TrustCase{"HostNotNamed", 5, "submitted from another host"},
                      TrustCase{"RuntimeFolderOfAnotherUser", 5, "belongs to another user"},
                      TrustCase{"RuntimeFolderOpenToOthers", 5, "may be written by other users"},
                      TrustCase{"RuntimeFolderIsALink", 5, "is not a folder"},
                      TrustCase{"ServerOfAnotherUser", 5, "is served by another user"},
                      TrustCase{"RelativeRuntimeRoot", 4, "not an absolute path"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BackendDiscoveryTest, WithoutArgumentsItListsItsDevice) {
    std::string output;
    ProcessOptions options;
    options.arguments = {"mossvane"};
    int exitCode = RunToEnd(testing::ChildProcess::ProgramFolder() + "mossvane-cups-backend",
                            options, output, 10s);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(output, "direct mossvane:/ \"Unknown\" \"Mossvane server of the job's user\"\n");
}

}  // namespace
}  // namespace mossvane::cups::test
