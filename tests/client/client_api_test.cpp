// The client library's C API against the real server, against no server and
// against a stand-in that answers the way a broken server might.
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "dialog_driver.h"
#include "job_client.h"
#include "mossvane/client.h"
#include "platform/event.h"
#include "server_harness.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {
namespace {

constexpr std::uint32_t kPatientMs = 30000;

std::string LongRequest(std::size_t characters) {
    return "@=" + std::string(characters - 2, 'x');
}

// Calls with arguments the library must refuse before it connects.
struct RefusedCase {
    const char* name;
    std::string request;
};

void PrintTo(const RefusedCase& param, std::ostream* out) {
    *out << param.name;
}

class ClientApiRefusalTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(ClientApiRefusalTest, RequestIsRefusedWithoutConnecting) {
    char answer[16] = "left over";
    std::size_t length = 99;
    EXPECT_EQ(mossvane_request(GetParam().request.c_str(), answer, sizeof answer, &length, 0),
              MOSSVANE_INVALID_ARGUMENT);
    EXPECT_STREQ(answer, "");
    EXPECT_EQ(length, 0u);
}

INSTANTIATE_TEST_SUITE_P(Requests, ClientApiRefusalTest,
                         ::testing::Values(RefusedCase{"TruncatedSequence", "@=\xC3"},
                                           RefusedCase{"EncodedSurrogate", "@=\xED\xA0\x80"},
                                           RefusedCase{"Overlong", "@=\xC0\xAF"},
                                           RefusedCase{"JobMarkerFirst", "\x1F@=OpenUI"},
                                           RefusedCase{"LongerThanAMessage", LongRequest(2052)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ClientApiArgumentTest, NullArgumentsAreRefused) {
    char buffer[32];
    mossvane_job* job = nullptr;
    EXPECT_EQ(mossvane_get_number(nullptr, 21, 0), MOSSVANE_INVALID_ARGUMENT);
    EXPECT_EQ(mossvane_get_number(buffer, 0, 0), MOSSVANE_INVALID_ARGUMENT);
    EXPECT_EQ(mossvane_request(nullptr, buffer, sizeof buffer, nullptr, 0),
              MOSSVANE_INVALID_ARGUMENT);
    EXPECT_EQ(mossvane_request("@=OpenUI", nullptr, 1, nullptr, 0), MOSSVANE_INVALID_ARGUMENT);
    EXPECT_EQ(mossvane_job_open(nullptr, 1, 0), MOSSVANE_INVALID_ARGUMENT);
    EXPECT_EQ(mossvane_job_write(nullptr, buffer, 1), MOSSVANE_INVALID_ARGUMENT);
    EXPECT_EQ(mossvane_job_end(nullptr, nullptr, 0, 0), MOSSVANE_INVALID_ARGUMENT);
    EXPECT_EQ(job, nullptr);
    mossvane_job_abort(nullptr);
}

TEST(ClientApiArgumentTest, EveryStatusHasItsOwnText) {
    std::vector<std::string> texts;
    for (int status = MOSSVANE_OK; status <= MOSSVANE_UNTRUSTED_SERVER; ++status) {
        const char* text = mossvane_strerror(static_cast<mossvane_status>(status));
        ASSERT_NE(text, nullptr);
        for (const std::string& earlier : texts) EXPECT_NE(earlier, text) << status;
        texts.emplace_back(text);
    }
    EXPECT_STREQ(mossvane_strerror(static_cast<mossvane_status>(99)), "unknown status");
}

class ClientApiTest : public ServerTest {
  protected:
    std::filesystem::path UsePrintFolder() {
        const std::filesystem::path prints = std::filesystem::path(folder()) / "prints";
        std::filesystem::create_directories(prints);
        SetPrintFolder(prints);
        return prints;
    }
};

TEST_F(ClientApiTest, WithoutAServerNothingIsReached) {
    char answer[8];
    char number[MOSSVANE_NUMBER_SIZE];
    mossvane_job* job = nullptr;
    EXPECT_EQ(mossvane_request("@=OpenUI", answer, sizeof answer, nullptr, 300),
              MOSSVANE_NO_SERVER);
    EXPECT_EQ(mossvane_get_number(number, sizeof number, 300), MOSSVANE_NO_SERVER);
    EXPECT_STREQ(number, "");
    EXPECT_EQ(mossvane_job_open(&job, 1, 300), MOSSVANE_NO_SERVER);
    EXPECT_EQ(job, nullptr);
}

TEST_F(ClientApiTest, RequestsAreAnsweredFromManyThreadsAtOnce) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    const std::string longest = LongRequest(2051);
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            char answer[4] = "x";
            std::size_t length = 99;
            const char* request = i == 0 ? longest.c_str() : "@=OpenUI";
            if (mossvane_request(request, answer, sizeof answer, &length, kPatientMs) ==
                    MOSSVANE_OK &&
                length == 0 && answer[0] == '\0') {
                ++answered;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(answered, 8);
    EXPECT_TRUE(WaitForDebugLineCount(*server, "[PI] param: @=OpenUI", 7, kStartTimeout));
}

// One job and what the server made of it.
struct JobCase {
    const char* name;
    std::size_t dataSize;
    std::size_t writeSize;  // The data goes in writes of this size.
    unsigned flags;
    std::vector<mossvane_job_info> info;
    mossvane_status status;
    std::size_t storedJobs;  // Information files the server wrote.
};

void PrintTo(const JobCase& param, std::ostream* out) {
    *out << param.name;
}

class ClientApiJobTest : public ClientApiTest, public ::testing::WithParamInterface<JobCase> {};

TEST_P(ClientApiJobTest, JobEndsAsTheServerTookIt) {
    const JobCase& param = GetParam();
    auto server = StartServer();
    ASSERT_TRUE(server);
    const std::filesystem::path prints = UsePrintFolder();
    const Bytes data = PatternBytes(param.dataSize, 7);

    mossvane_job* job = nullptr;
    ASSERT_EQ(mossvane_job_open(&job, mossvane_new_job_number(), kPatientMs), MOSSVANE_OK);
    for (std::size_t at = 0; at < data.size(); at += param.writeSize) {
        const std::size_t size = std::min(param.writeSize, data.size() - at);
        ASSERT_EQ(mossvane_job_write(job, data.data() + at, size), MOSSVANE_OK);
    }
    EXPECT_EQ(mossvane_job_end(job, param.info.data(), param.info.size(), param.flags),
              param.status);

    if (param.storedJobs == 0) {
        EXPECT_TRUE(WaitForDebugText(*server, "[PI]InstanceThread exitting.."));
        EXPECT_TRUE(FilesWithExtension(prints, ".info").empty());
        return;
    }
    ASSERT_TRUE(
        WaitUntil([&] { return FilesWithExtension(prints, ".info").size() == 1; }, kStartTimeout))
        << server->DebugOutput();
    const auto jobs = FilesWithExtension(prints, ".prn");
    ASSERT_EQ(jobs.size(), 1u);
    const std::string stored = ReadFileBytes(jobs[0]);
    ASSERT_GE(stored.size(), data.size());
    EXPECT_TRUE(stored.compare(0, data.size(), std::string(data.begin(), data.end())) == 0);
    const std::string information = ReadFileBytes(FilesWithExtension(prints, ".info")[0]);
    for (const mossvane_job_info& entry : param.info) {
        // The information file is in the system's ANSI code page: UTF-8 on
        // POSIX, a Windows code page elsewhere, where only ASCII compares.
        const std::string value = entry.value;
        const bool ascii = std::all_of(value.begin(), value.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (ascii || ChildProcess::IsPosix()) {
            EXPECT_NE(information.find(value), std::string::npos) << information;
        }
    }
}

const std::vector<mossvane_job_info> kInformation = {{"PhoneNumber", "0123"},
                                                     {"Title",
                                                      "Gr\xC3\xBC\xC3\x9F"
                                                      "e"}};

INSTANTIATE_TEST_SUITE_P(
    Jobs, ClientApiJobTest,
    ::testing::Values(
        JobCase{"MarkerAdded", 10000, 333, MOSSVANE_JOB_ADD_END_MARKER, kInformation, MOSSVANE_OK,
                1},
        JobCase{"EmptyDataWithMarker", 0, 1, MOSSVANE_JOB_ADD_END_MARKER, {}, MOSSVANE_OK, 1},
        JobCase{"BigWrites", 20000, 20000, MOSSVANE_JOB_ADD_END_MARKER, kInformation, MOSSVANE_OK,
                1},
        JobCase{"NoMarker", 500, 500, 0, kInformation, MOSSVANE_NO_END_MARKER, 0},
        JobCase{"KeyWithEquals",
                100,
                100,
                MOSSVANE_JOB_ADD_END_MARKER,
                {{"a=b", "c"}},
                MOSSVANE_INVALID_ARGUMENT,
                0},
        JobCase{"ValueOnTwoLines",
                100,
                100,
                MOSSVANE_JOB_ADD_END_MARKER,
                {{"a", "b\nc"}},
                MOSSVANE_INVALID_ARGUMENT,
                0},
        JobCase{"EmptyKey",
                100,
                100,
                MOSSVANE_JOB_ADD_END_MARKER,
                {{"", "c"}},
                MOSSVANE_INVALID_ARGUMENT,
                0},
        JobCase{"IllFormedValue",
                100,
                100,
                MOSSVANE_JOB_ADD_END_MARKER,
                {{"a", "\xFF"}},
                MOSSVANE_INVALID_ARGUMENT,
                0}),
    [](const auto& info) { return std::string(info.param.name); });

// A stand-in server in this process: takes one client, reads its request
// and answers it as told.
enum class StandIn { LongAnswer, NoTerminator, Silent, CloseWithoutAnswer };

class StandInServer {
  public:
    explicit StandInServer(StandIn behaviour) : m_listener(UserPipeName()) {
        m_listening = m_listener.CreateInstance() == platform::kSuccess;
        if (m_listening) m_thread = std::thread([this, behaviour] { Serve(behaviour); });
    }
    ~StandInServer() {
        m_done.Set();
        if (m_thread.joinable()) m_thread.join();
    }

    bool IsListening() const { return m_listening; }

  private:
    void Serve(StandIn behaviour) {
        platform::PipeConnection connection;
        platform::ErrorCode error = platform::kSuccess;
        if (m_listener.WaitForClient(m_done, connection, error) !=
            platform::ListenResult::Connected) {
            return;
        }
        std::uint8_t request[kPipeBufferSizeForTest];
        std::size_t got = 0;
        connection.Read(request, sizeof request, got);
        std::u16string answer;
        if (behaviour == StandIn::LongAnswer) answer = std::u16string(2000, u'\u00FC') + u'\0';
        if (behaviour == StandIn::NoTerminator) answer = std::u16string(2052, u'a');
        if (behaviour == StandIn::CloseWithoutAnswer) return;
        if (!answer.empty()) {
            std::size_t written = 0;
            connection.Write(answer.data(), answer.size() * 2, written);
        }
        m_done.Wait();  // Holds the connection open until the test ends.
    }

    static constexpr std::size_t kPipeBufferSizeForTest = 4104;
    platform::PipeListener m_listener;
    platform::Event m_done;
    bool m_listening = false;
    std::thread m_thread;
};

struct StandInCase {
    const char* name;
    StandIn behaviour;
    std::size_t answerSize;
    mossvane_status status;
};

void PrintTo(const StandInCase& param, std::ostream* out) {
    *out << param.name;
}

class ClientApiStandInTest : public ClientApiTest,
                             public ::testing::WithParamInterface<StandInCase> {};

TEST_P(ClientApiStandInTest, AnswerIsJudged) {
    const StandInCase& param = GetParam();
    StandInServer server(param.behaviour);
    ASSERT_TRUE(server.IsListening());
    std::vector<char> answer(param.answerSize, 'x');
    std::size_t length = 0;
    EXPECT_EQ(mossvane_request("@=OpenUI", answer.data(), answer.size(), &length, 1000),
              param.status);
    if (param.status != MOSSVANE_OK) {
        EXPECT_EQ(answer[0], '\0');
    }
    // Two bytes of UTF-8 for each of the 2000 characters.
    if (param.behaviour == StandIn::LongAnswer) {
        EXPECT_EQ(length, 4000u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ClientApiStandInTest,
    ::testing::Values(
        StandInCase{"LongAnswerFits", StandIn::LongAnswer, 4001, MOSSVANE_OK},
        StandInCase{"LongAnswerOneByteShort", StandIn::LongAnswer, 4000, MOSSVANE_BUFFER_TOO_SMALL},
        StandInCase{"NoTerminatorInABuffer", StandIn::NoTerminator, MOSSVANE_ANSWER_SIZE,
                    MOSSVANE_BAD_ANSWER},
        StandInCase{"NoAnswerInTime", StandIn::Silent, MOSSVANE_ANSWER_SIZE, MOSSVANE_TIMEOUT},
        StandInCase{"ClosedWithoutAnswer", StandIn::CloseWithoutAnswer, MOSSVANE_ANSWER_SIZE,
                    MOSSVANE_DISCONNECTED}),
    [](const auto& info) { return std::string(info.param.name); });

// The number as the user types it in the server's dialog.
class ClientApiNumberTest : public ClientApiTest {
  protected:
    void SetUp() override {
        if (!test::DialogDriver::DisplayAvailable()) GTEST_SKIP() << "needs a display";
        ClientApiTest::SetUp();
        m_server = StartServer();
        ASSERT_TRUE(m_server);
    }
    void TearDown() override {
        if (m_server) m_server->Kill();
        if (m_asking.joinable()) m_asking.join();
        ClientApiTest::TearDown();
    }

    void Ask(std::size_t size, std::uint32_t timeoutMs) {
        m_number.assign(size, 'x');
        m_asking = std::thread([this, timeoutMs] {
            m_status = mossvane_get_number(m_number.data(), m_number.size(), timeoutMs);
        });
    }
    mossvane_status Result() {
        m_asking.join();
        return m_status;
    }
    std::string Number() const { return std::string(m_number.data()); }
    bool NumberBufferIsWiped() const {
        return std::all_of(m_number.begin(), m_number.end(), [](char c) { return c == 0; });
    }

    static constexpr char16_t kCaption[] = u"Personal Identification Number";
    test::DialogDriver driver;

  private:
    std::unique_ptr<ChildProcess> m_server;
    std::thread m_asking;
    std::vector<char> m_number;
    mossvane_status m_status = MOSSVANE_SYSTEM_ERROR;
};

TEST_F(ClientApiNumberTest, TypedNumberIsWrittenIntoTheBuffer) {
    Ask(MOSSVANE_NUMBER_SIZE, kPatientMs);
    ASSERT_TRUE(driver.WaitForWindow(kCaption));
    ASSERT_TRUE(driver.EnterNumber(u"12345678901234567890"));
    ASSERT_TRUE(driver.PressOk());
    EXPECT_EQ(Result(), MOSSVANE_OK);
    EXPECT_EQ(Number(), "12345678901234567890");
}

TEST_F(ClientApiNumberTest, ShortBufferGetsNothing) {
    Ask(4, kPatientMs);
    ASSERT_TRUE(driver.WaitForWindow(kCaption));
    ASSERT_TRUE(driver.EnterNumber(u"1234"));
    ASSERT_TRUE(driver.PressOk());
    EXPECT_EQ(Result(), MOSSVANE_BUFFER_TOO_SMALL);
    EXPECT_TRUE(NumberBufferIsWiped());
}

TEST_F(ClientApiNumberTest, CancelIsReported) {
    Ask(MOSSVANE_NUMBER_SIZE, kPatientMs);
    ASSERT_TRUE(driver.WaitForWindow(kCaption));
    ASSERT_TRUE(driver.PressCancel());
    EXPECT_EQ(Result(), MOSSVANE_CANCELLED);
    EXPECT_TRUE(NumberBufferIsWiped());
}

TEST_F(ClientApiNumberTest, UserWhoDoesNotAnswerRunsIntoTheTimeout) {
    Ask(MOSSVANE_NUMBER_SIZE, 1500);
    ASSERT_TRUE(driver.WaitForWindow(kCaption));
    EXPECT_EQ(Result(), MOSSVANE_TIMEOUT);
    EXPECT_TRUE(NumberBufferIsWiped());
    driver.PressCancel();  // Leaves the display clean for the next test.
}

}  // namespace
}  // namespace mossvane::testing
