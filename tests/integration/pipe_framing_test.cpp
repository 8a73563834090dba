// Requests and job messages sent to the real server over its pipe.
#include <filesystem>
#include <thread>

#include "job_client.h"
#include "pipe/job_spool.h"
#include "pipe/pipe_constants.h"
#include "server_harness.h"
#include "wire/job_message.h"

namespace mossvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class PipeFramingTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        // Job numbers come from the clock, so a job folder shared with the
        // test before would hold the same number's file when both ran in one
        // second (the default folder outlives the test under Wine).
        const std::filesystem::path jobs = std::filesystem::path(folder()) / "jobs";
        std::filesystem::create_directories(jobs);
        SetPrintFolder(jobs);
        m_server = StartServer();
        ASSERT_TRUE(m_server);
        ASSERT_TRUE(Connect(m_client));
    }

    void Send(const Bytes& bytes) {
        std::size_t written = 0;
        ASSERT_EQ(m_client.Write(bytes.data(), bytes.size(), written), platform::kSuccess);
        ASSERT_EQ(written, bytes.size());
    }

    // Reads until n bytes came or the server closed the connection.
    Bytes ReadUpTo(std::size_t n) {
        Bytes received;
        std::uint8_t buffer[kPipeBufferSize];
        while (received.size() < n) {
            std::size_t got = 0;
            if (m_client.Read(buffer, n - received.size(), got) != platform::kSuccess) break;
            received.insert(received.end(), buffer, buffer + got);
        }
        return received;
    }

    bool ServerEndsInOrder() { return WaitForServerEnd(m_client) == ServerEnd::InOrder; }
    bool ServerEndsAsFailure() { return WaitForServerEnd(m_client) == ServerEnd::AsFailure; }

    ChildProcess& server() { return *m_server; }

    // A piece of print data; one of 9 bytes or more ends with the end-of-job
    // marker, so that the job can be stored.
    static Bytes Write(std::size_t size) {
        Bytes data(size, 0x41);
        if (size >= kEndOfJobMarkerSize) {
            std::copy(std::begin(kEndOfJobMarker), std::end(kEndOfJobMarker),
                      data.end() - kEndOfJobMarkerSize);
        }
        return EncodeJobMessage(WRITE_JOB_CMD, data.data(), data.size());
    }

  private:
    std::unique_ptr<ChildProcess> m_server;
    platform::PipeConnection m_client;
};

TEST_F(PipeFramingTest, UnknownRequestIsAnsweredWithTwoZeroBytes) {
    Send(EncodeRequest(u"@=OpenUI"));
    EXPECT_EQ(ReadUpTo(2), (Bytes{0, 0}));
    Send(EncodeRequest(u"nothing=here"));
    EXPECT_EQ(ReadUpTo(2), (Bytes{0, 0}));
    EXPECT_TRUE(WaitForDebugText(server(), "[PI] param: @=OpenUI"));
}

TEST_F(PipeFramingTest, ExitRequestInAnyCaseStopsTheServer) {
    Send(EncodeRequest(u"@=eXiT"));
    int exitCode = -1;
    ASSERT_TRUE(server().WaitForExit(kStartTimeout, exitCode)) << server().DebugOutput();
    EXPECT_EQ(exitCode, 0);
    EXPECT_NE(server().DebugOutput().find("[PI] GetAnswerToRequest() - Exit"), std::string::npos);
}

TEST_F(PipeFramingTest, ThreeMessagesInOneWriteEndWithTheJob) {
    Send(Concat({EncodeCreateJob(12), Write(100), EncodeEndJob(u"a=1")}));
    EXPECT_TRUE(ServerEndsInOrder());
    EXPECT_EQ(server().DebugOutput().find("Invalid command data"), std::string::npos);
}

TEST_F(PipeFramingTest, FullSizePieceSentInParts) {
    Bytes write = Write(kMaxJobPayload);
    Send(Concat({EncodeCreateJob(1), Bytes(write.begin(), write.begin() + 4)}));
    Send(Bytes(write.begin() + 4, write.begin() + 2000));
    Send(Bytes(write.begin() + 2000, write.end()));
    Send(EncodeEndJob(u"a=1"));
    EXPECT_TRUE(ServerEndsInOrder());
    EXPECT_EQ(server().DebugOutput().find("Invalid command data"), std::string::npos);
}

TEST_F(PipeFramingTest, HeaderSplitAfterTwoBytesIsCompleted) {
    Bytes write = Write(10);
    Send(Concat({EncodeCreateJob(1), Bytes(write.begin(), write.begin() + 2)}));
    ASSERT_TRUE(
        WaitForDebugText(server(), "[PI][EXE] [Pipe - InstanceThread]ReadData<4 : dwREad :2"));
    Send(Bytes(write.begin() + 2, write.end()));
    Send(EncodeEndJob(u"a=1"));
    EXPECT_TRUE(ServerEndsInOrder());
    EXPECT_EQ(server().DebugOutput().find("Invalid command data"), std::string::npos);
}

TEST_F(PipeFramingTest, UnknownJobCommandIsDropped) {
    Bytes payload(5, 1);
    Send(Concat({EncodeCreateJob(1), EncodeJobMessage(7, payload.data(), payload.size()), Write(12),
                 EncodeEndJob(u"a=1")}));
    EXPECT_TRUE(ServerEndsInOrder());
    EXPECT_EQ(server().DebugOutput().find("Invalid command data"), std::string::npos);
}

struct BadStream {
    const char* name;
    Bytes bytes;
    const char* debugLine;
    bool carriesJob = true;  // The connection must then end as a failure.
};

void PrintTo(const BadStream& stream, std::ostream* out) {
    *out << stream.name;
}

class PipeFramingRejectionTest : public PipeFramingTest,
                                 public ::testing::WithParamInterface<BadStream> {};

TEST_P(PipeFramingRejectionTest, EndsTheConnectionWithATrace) {
    Send(GetParam().bytes);
    EXPECT_TRUE(GetParam().carriesJob ? ServerEndsAsFailure() : ServerEndsInOrder());
    EXPECT_TRUE(WaitForDebugText(server(), GetParam().debugLine)) << server().DebugOutput();
    EXPECT_TRUE(WaitForDebugText(server(), "[PI]InstanceThread exitting.."));
}

Bytes WrongMarker() {
    Bytes bytes = Concat({EncodeCreateJob(1), EncodeCreateJob(2)});
    bytes[8] = 0x20;
    return bytes;
}

Bytes OversizedPiece() {
    Bytes bytes = EncodeCreateJob(1);
    bytes.insert(bytes.end(), {kJobMarker, WRITE_JOB_CMD, 0x05, 0x10});  // 4101 bytes
    bytes.resize(bytes.size() + 4101, 0x41);
    return bytes;
}

Bytes ShortCreate() {
    const std::uint8_t number[] = {1, 0};
    return EncodeJobMessage(CREATE_JOB_CMD, number, sizeof number);
}

Bytes UnterminatedEnd() {
    const std::uint8_t text[] = {'a', 0, '=', 0, '1', 0};
    return EncodeJobMessage(END_JOB_CMD, text, sizeof text);
}

Bytes UnterminatedRequest() {
    Bytes bytes = EncodeRequest(u"@=GETINFO");
    bytes.resize(bytes.size() - 2);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, PipeFramingRejectionTest,
    ::testing::Values(BadStream{"WrongMarker", WrongMarker(),
                                "[PI][EXE] [Pipe - InstanceThread] Invalid command data"},
                      BadStream{"RequestGluedBehindJob",
                                Concat({EncodeCreateJob(1), EncodeRequest(u"@=GETINFO")}),
                                "[PI][EXE] [Pipe - InstanceThread] Invalid command data"},
                      BadStream{"PieceLongerThanABuffer", OversizedPiece(),
                                "[PI][EXE] [Pipe - InstanceThread] Invalid command data"},
                      BadStream{"CreateWithoutJobNumber", ShortCreate(),
                                "[PI] CREATE_JOB_CMD without a job number, connection ends."},
                      BadStream{
                          "EndWithoutTerminator", UnterminatedEnd(),
                          "[PI] END_JOB_CMD without terminated job information, connection ends."},
                      BadStream{"RequestWithoutTerminator", UnterminatedRequest(),
                                "[PI] Request without terminating null, connection ends.", false}),
    [](const ::testing::TestParamInfo<BadStream>& info) { return info.param.name; });

}  // namespace
}  // namespace mossvane::testing
