// The backend against a stand-in server: with pin=ask the number the server
// answers with goes into the job information and nowhere else the backend
// writes; a server that stops reading fails the job.
#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "child_process.h"
#include "fake_server.h"
#include "params/param_text.h"
#include "support/temp_folder.h"
#include "test_process.h"

namespace mossvane::cups::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::uint8_t kCreateJobCommand = 1;
constexpr std::uint8_t kWriteJobCommand = 2;
constexpr std::uint8_t kEndJobCommand = 3;

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

class StandInServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        passwd* me = getpwuid(geteuid());
        ASSERT_NE(me, nullptr);
        m_user = me->pw_name;
        m_uid = me->pw_uid;
        fs::create_directories(m_folder.path() / "run" / std::to_string(m_uid));
    }

    std::string SocketPath() const {
        return (m_folder.path() / "run" / std::to_string(m_uid) / ("Mossvane_" + m_user)).string();
    }

    // The backend run by the job's own user, reading the job from a file.
    int RunBackend(const std::string& uri, std::string& output,
                   const std::string& data = "%!PS\nshowpage\n") {
        fs::path input = m_folder.path() / "input.prn";
        std::ofstream(input, std::ios::binary) << data;
        ProcessOptions options;
        options.arguments = {uri, "77", m_user, "Form", "1", "", input.string()};
        options.environment = {"DEVICE_URI=" + uri,
                               "MOSSVANE_CUPS_RUNTIME_ROOT=" + (m_folder.path() / "run").string()};
        return RunToEnd(testing::ChildProcess::ProgramFolder() + "mossvane-cups-backend", options,
                        output, 60s);
    }

    mossvane::test::TempFolder m_folder;
    std::string m_user;
    uid_t m_uid = 0;
};

TEST_F(StandInServerTest, GivenNumberGoesIntoTheJobInformationOnly) {
    FakeServer server(SocketPath(), u"[Result]\nRETURN=OK\nPhoneNumber=90417263\n");
    ASSERT_TRUE(server.IsListening());
    std::string output;
    EXPECT_EQ(RunBackend("mossvane:/?pin=ask", output), 0) << output;

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
    FakeServer server(SocketPath(), GetParam().answer);
    ASSERT_TRUE(server.IsListening());
    std::string output;
    EXPECT_EQ(RunBackend("mossvane:/?pin=ask", output), GetParam().status) << output;
    EXPECT_NE(output.find("ERROR: "), std::string::npos) << output;
    EXPECT_EQ(server.Request(), u"@=GETINFO");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, NumberRefusalTest,
    ::testing::Values(RefusedAnswer{"Cancelled", u"[Result]\nRETURN=CANCEL\n", 5},
                      RefusedAnswer{"TooShort", u"[Result]\nRETURN=OK\nPhoneNumber=12\n", 1},
                      RefusedAnswer{"Nothing", u"", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StandInServerTest, WithoutTheOptionTheFirstConnectionIsTheJob) {
    FakeServer server(SocketPath(), std::nullopt);
    ASSERT_TRUE(server.IsListening());
    std::string output;
    EXPECT_EQ(RunBackend("mossvane:/", output), 0) << output;
    std::u16string request;
    std::vector<ReceivedMessage> messages;
    ASSERT_TRUE(server.WaitForJob(request, messages));
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages.front().command, kCreateJobCommand);
    EXPECT_EQ(messages[1].command, kWriteJobCommand);
    EXPECT_EQ(DecodeInformation(messages.back().payload).count(u"PhoneNumber"), 0u);
}

TEST_F(StandInServerTest, AJobTheServerStopsTakingFailsWithAMessage) {
    // More data than the socket can hold, so the backend is still writing
    // when the server closes the connection after the job's first message.
    FakeServer server(SocketPath(), std::nullopt, 1);
    ASSERT_TRUE(server.IsListening());
    std::string output;
    EXPECT_EQ(RunBackend("mossvane:/", output, std::string(4 << 20, 'x')), 1) << output;
    EXPECT_NE(output.find("ERROR: The Mossvane server refused the job"), std::string::npos)
        << output;
}

// Only an orderly end tells that the server took the job; a connection that
// breaks instead may have lost it, so CUPS is to try the job again.
TEST_F(StandInServerTest, AJobTheServerMayHaveLostIsTriedAgainLater) {
    FakeServer server(SocketPath(), std::nullopt, SIZE_MAX, JobEnd::Reset);
    ASSERT_TRUE(server.IsListening());
    std::string output;
    EXPECT_EQ(RunBackend("mossvane:/", output), 6) << output;
    EXPECT_NE(output.find("ERROR: The connection to the Mossvane server broke"), std::string::npos)
        << output;
}

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
