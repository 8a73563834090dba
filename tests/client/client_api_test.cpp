// The client library's C API against the real server, against no server and
// against a stand-in that answers the way a broken server might.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <regex>
#include <set>
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

// Every status the header declares has a text of its own and a description
// in the manual.
TEST(ClientApiArgumentTest, EveryStatusIsDescribed) {
    if (!ChildProcess::IsPosix()) GTEST_SKIP() << "the manual ships with the Linux packages";
    const std::string source = MOSSVANE_SOURCE_DIR;
    const std::string header = ReadFileBytes(source + "/include/mossvane/client.h");
    const std::string manual = ReadFileBytes(source + "/man/mossvane_client.3");
    std::set<std::string> texts = {mossvane_strerror(static_cast<mossvane_status>(99))};
    const std::regex entry("(MOSSVANE_[A-Z_]+) = ([0-9]+)");
    for (std::sregex_iterator it(header.begin(), header.end(), entry), end; it != end; ++it) {
        const std::string name = (*it)[1];
        const auto status = static_cast<mossvane_status>(std::stoi((*it)[2]));
        EXPECT_TRUE(texts.insert(mossvane_strerror(status)).second) << name;
        const std::size_t item = manual.find(".TP\n.B " + name + "\n");
        EXPECT_TRUE(item != std::string::npos && manual[item + name.size() + 8] != '.') << name;
    }
    EXPECT_GT(texts.size(), 2u);
}

// Runs one call with errno set as a host might have left it: every call,
// successful or not, leaves it so.
template <typename Call>
mossvane_status KeepingErrno(Call call) {
    errno = 1234;
    const mossvane_status status = call();
    EXPECT_EQ(errno, 1234) << mossvane_strerror(status);
    return status;
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
        JobCase{"NoMarker", 500, 500, 0, kInformation, MOSSVANE_NO_END_MARKER, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Beside job 10007, open with its data: a call the library refuses, or
// answers at once, sends nothing and leaves the job open; a second job whose
// file name is taken is reported as not stored. The job then ends, stored.
enum class Side { End, NumberIntoShortBuffer, NumberWithoutTime, RequestWithoutTime, SecondJob };

struct SideCase {
    const char* name;
    Side side;
    mossvane_status status;
    std::vector<mossvane_job_info> info = {};  // Side::End; none: null, with a count of 5.
    unsigned flags = MOSSVANE_JOB_ADD_END_MARKER;
};

void PrintTo(const SideCase& param, std::ostream* out) {
    *out << param.name;
}

mossvane_status CallBeside(const SideCase& param, mossvane_job* job) {
    char text[MOSSVANE_NUMBER_SIZE];
    mossvane_job* second = nullptr;
    switch (param.side) {
        case Side::End:
            return mossvane_job_end(job, param.info.empty() ? nullptr : param.info.data(),
                                    param.info.empty() ? 5 : param.info.size(), param.flags);
        case Side::NumberIntoShortBuffer:
            return mossvane_get_number(text, sizeof text - 1, kPatientMs);
        case Side::NumberWithoutTime:
            return mossvane_get_number(text, sizeof text, 0);
        case Side::RequestWithoutTime:
            return mossvane_request("@=OpenUI", text, sizeof text, nullptr, 0);
        case Side::SecondJob:
            mossvane_job_open(&second, 20007, kPatientMs);
            return mossvane_job_end(second, nullptr, 0, param.flags);
    }
    return MOSSVANE_SYSTEM_ERROR;
}

class ClientApiSideTest : public ClientApiTest, public ::testing::WithParamInterface<SideCase> {};

TEST_P(ClientApiSideTest, OnlyAStoredJobIsReportedAsSent) {
    auto server = StartServer();
    ASSERT_TRUE(server);
    const std::filesystem::path prints = UsePrintFolder();
    // Both jobs of a case must fall into one second to share a file name.
    const auto early = [] {
        return std::chrono::system_clock::now().time_since_epoch() % 1s < 200ms;
    };
    ASSERT_TRUE(WaitUntil(early, kStartTimeout));
    mossvane_job* job = nullptr;
    ASSERT_EQ(KeepingErrno([&] { return mossvane_job_open(&job, 10007, kPatientMs); }),
              MOSSVANE_OK);
    ASSERT_EQ(KeepingErrno([&] { return mossvane_job_write(job, "page", 4); }), MOSSVANE_OK);
    ASSERT_TRUE(
        WaitUntil([&] { return FilesWithExtension(prints, ".prn").size() == 1; }, kStartTimeout));
    EXPECT_EQ(KeepingErrno([&] { return CallBeside(GetParam(), job); }), GetParam().status);
    EXPECT_EQ(KeepingErrno([&] { return mossvane_job_end(job, kInformation.data(), 2, 1); }),
              MOSSVANE_OK);
    ASSERT_EQ(FilesWithExtension(prints, ".info").size(), 1u);
    EXPECT_EQ(ReadFileBytes(FilesWithExtension(prints, ".prn")[0]), "page\x1B%-12345X");
    const std::size_t connections = GetParam().side == Side::SecondJob ? 2 : 1;
    ASSERT_TRUE(WaitForDebugLineCount(*server, "[PI]InstanceThread exitting..", connections,
                                      kStartTimeout));
    EXPECT_EQ(CountLines(server->DebugOutput(), "[PI]Plus Call Count"), connections);
}

const std::string kTooLarge(2100, 'x');
constexpr mossvane_status kInvalid = MOSSVANE_INVALID_ARGUMENT;

INSTANTIATE_TEST_SUITE_P(
    Cases, ClientApiSideTest,
    ::testing::Values(
        SideCase{"LatinOneValue", Side::End, kInvalid, {{"Title", "R\xE9sum\xE9"}}},
        SideCase{"NullInformationWithACount", Side::End, kInvalid},
        SideCase{"NullValue", Side::End, kInvalid, {{"a", nullptr}}},
        SideCase{"KeyWithEquals", Side::End, kInvalid, {{"a=b", "c"}}},
        SideCase{"ValueOnTwoLines", Side::End, kInvalid, {{"a", "b\nc"}}},
        SideCase{"EmptyKey", Side::End, kInvalid, {{"", "c"}}},
        SideCase{"IllFormedValue", Side::End, kInvalid, {{"a", "\xFF"}}},
        SideCase{"TooLargeForOneMessage", Side::End, kInvalid, {{"a", kTooLarge.c_str()}}},
        SideCase{"UnknownFlag", Side::End, kInvalid, kInformation, 3},
        SideCase{"NumberIntoAShortBuffer", Side::NumberIntoShortBuffer, MOSSVANE_BUFFER_TOO_SMALL},
        SideCase{"NumberWithoutTime", Side::NumberWithoutTime, MOSSVANE_TIMEOUT},
        SideCase{"RequestWithoutTime", Side::RequestWithoutTime, MOSSVANE_TIMEOUT},
        SideCase{"FileNameTakenInTheSameSecond", Side::SecondJob, MOSSVANE_NOT_STORED}),
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
