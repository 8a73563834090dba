// The connection's message loop fed from a script of reads, so every read
// boundary the pipe may produce can be placed exactly.
#include "pipe/message_framing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "pipe/pipe_constants.h"
#include "wire/job_message.h"

namespace mossvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes JobMessage(std::uint8_t command, const Bytes& payload) {
    return EncodeJobMessage(command, payload.data(), payload.size());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Utf16Request(std::u16string_view text) {
    return EncodeRequest(text);
}

Bytes Filled(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
}

// Each script entry is what has arrived on the pipe when the server reads:
// a read returns as much of it as fits, the rest stays for the next read.
// When the script runs out the client has closed its end.
class ScriptedSource : public ByteSource {
  public:
    explicit ScriptedSource(std::deque<Bytes> arrivals) : m_arrivals(std::move(arrivals)) {}

    platform::ErrorCode Read(void* buffer, std::size_t size, std::size_t& bytesRead) override {
        bytesRead = 0;
        if (m_arrivals.empty()) return platform::kBrokenPipe;
        Bytes& next = m_arrivals.front();
        bytesRead = std::min(size, next.size());
        std::memcpy(buffer, next.data(), bytesRead);
        readSizes.push_back(size);
        next.erase(next.begin(), next.begin() + static_cast<std::ptrdiff_t>(bytesRead));
        if (next.empty()) m_arrivals.pop_front();
        return platform::kSuccess;
    }

    std::vector<std::size_t> readSizes;

  private:
    std::deque<Bytes> m_arrivals;
};

struct JobRecord {
    std::uint8_t command;
    Bytes payload;
};

class RecordingHandler : public MessageHandler {
  public:
    bool OnRequest(const std::uint8_t* bytes, std::size_t size) override {
        requests.emplace_back(bytes, bytes + size);
        return true;
    }
    bool OnJobMessage(std::uint8_t command, const std::uint8_t* payload,
                      std::size_t size) override {
        jobs.push_back({command, Bytes(payload, payload + size)});
        return command != endingCommand;
    }
    void TraceDebug(std::u16string_view text) override { debug.emplace_back(text); }
    void TraceStandardOutput(std::string_view text) override { standardOutput += text; }

    bool HasDebug(std::u16string_view text) const {
        for (const auto& line : debug) {
            if (line == text) return true;
        }
        return false;
    }

    std::uint8_t endingCommand = 0xFF;
    std::vector<Bytes> requests;
    std::vector<JobRecord> jobs;
    std::vector<std::u16string> debug;
    std::string standardOutput;
};

class MessageFramingTest : public ::testing::Test {
  protected:
    LoopEnd Run(std::deque<Bytes> arrivals) {
        ScriptedSource source(std::move(arrivals));
        LoopEnd end = RunFraming(source, handler, m_readBuffer.data());
        readSizes = source.readSizes;
        return end;
    }

    RecordingHandler handler;
    std::vector<std::size_t> readSizes;

  private:
    std::vector<std::uint8_t> m_readBuffer = std::vector<std::uint8_t>(kPipeBufferSize);
};

TEST_F(MessageFramingTest, ThreeMessagesInOneReadAreDispatchedInOrder) {
    Bytes create = JobMessage(1, {7, 0, 0, 0});
    Bytes write = JobMessage(2, Filled(100));
    Bytes end = JobMessage(3, Utf16Request(u"a=1"));
    EXPECT_EQ(Run({Concat({create, write, end})}), LoopEnd::ReadFailed);
    ASSERT_EQ(handler.jobs.size(), 3u);
    EXPECT_EQ(handler.jobs[0].command, 1);
    EXPECT_EQ(handler.jobs[1].payload, Filled(100));
    EXPECT_EQ(handler.jobs[2].command, 3);
    EXPECT_TRUE(handler.requests.empty());
}

TEST_F(MessageFramingTest, FullPayloadSpanningTwoMoreReadsIsDispatchedOnce) {
    Bytes message = JobMessage(2, Filled(kMaxJobPayload));
    Bytes first(message.begin(), message.begin() + 4);  // The header ends a read.
    Bytes second(message.begin() + 4, message.begin() + 2004);
    Bytes third(message.begin() + 2004, message.end());
    Run({Concat({JobMessage(1, {1, 0, 0, 0}), first}), second, third});
    ASSERT_EQ(handler.jobs.size(), 2u);
    EXPECT_EQ(handler.jobs[1].command, 2);
    EXPECT_EQ(handler.jobs[1].payload, Filled(kMaxJobPayload));
}

TEST_F(MessageFramingTest, HeaderSplitAfterTwoBytesIsCompletedFromTheNextRead) {
    Bytes message = JobMessage(2, Filled(10));
    Bytes head(message.begin(), message.begin() + 2);
    Bytes rest(message.begin() + 2, message.end());
    Run({Concat({JobMessage(1, {1, 0, 0, 0}), head}), rest});
    EXPECT_TRUE(handler.HasDebug(u"[PI][EXE] [Pipe - InstanceThread]ReadData<4 : dwREad :2"));
    ASSERT_EQ(handler.jobs.size(), 2u);
    EXPECT_EQ(handler.jobs[1].payload, Filled(10));
    // Only the two missing header bytes are asked for; the payload follows
    // with full-size reads.
    ASSERT_GE(readSizes.size(), 3u);
    EXPECT_EQ(readSizes[1], 2u);
    EXPECT_EQ(readSizes[2], kPipeBufferSize);
}

TEST_F(MessageFramingTest, HeaderCompletedOneByteAtATime) {
    Bytes message = JobMessage(3, Utf16Request(u"k=v"));
    Run({Bytes{message[0]}, Bytes{message[1]}, Bytes{message[2]}, Bytes{message[3]},
         Bytes(message.begin() + 4, message.end())});
    EXPECT_TRUE(handler.HasDebug(u"[PI][EXE] [Pipe - InstanceThread]ReadData<4 : dwREad :1"));
    ASSERT_EQ(handler.jobs.size(), 1u);
    EXPECT_EQ(handler.jobs[0].payload, Utf16Request(u"k=v"));
}

TEST_F(MessageFramingTest, FailedHeaderReadEndsTheConnection) {
    Bytes message = JobMessage(2, Filled(10));
    EXPECT_EQ(Run({Bytes(message.begin(), message.begin() + 3)}), LoopEnd::HeaderReadFailed);
    EXPECT_TRUE(handler.HasDebug(u"[PI][EXE] [Pipe - InstanceThread]ReadData<4 : Error :109"));
    EXPECT_TRUE(handler.jobs.empty());
}

TEST_F(MessageFramingTest, UnknownCommandIsHandedOnAndTheStreamGoesOn) {
    Run({Concat({JobMessage(7, Filled(5)), JobMessage(2, Filled(3))})});
    ASSERT_EQ(handler.jobs.size(), 2u);
    EXPECT_EQ(handler.jobs[0].command, 7);
    EXPECT_EQ(handler.jobs[1].payload, Filled(3));
}

TEST_F(MessageFramingTest, WrongMarkerInsideJobDataEndsTheConnection) {
    Bytes bad = JobMessage(2, Filled(3));
    bad[0] = 0x20;
    EXPECT_EQ(Run({Concat({JobMessage(1, {1, 0, 0, 0}), bad})}), LoopEnd::InvalidData);
    EXPECT_TRUE(handler.HasDebug(u"[PI][EXE] [Pipe - InstanceThread] Invalid command data"));
    EXPECT_EQ(handler.jobs.size(), 1u);
}

TEST_F(MessageFramingTest, RequestGluedBehindJobMessagesEndsTheConnection) {
    EXPECT_EQ(Run({Concat({JobMessage(1, {1, 0, 0, 0}), Utf16Request(u"@=GETINFO")})}),
              LoopEnd::InvalidData);
    EXPECT_TRUE(handler.requests.empty());
}

TEST_F(MessageFramingTest, PayloadLongerThanOneBufferIsInvalid) {
    Bytes header = {kJobMarker, 2, 0x05, 0x10};  // 4101 bytes.
    EXPECT_EQ(Run({header, Filled(4101)}), LoopEnd::InvalidData);
    EXPECT_TRUE(handler.jobs.empty());
}

TEST_F(MessageFramingTest, ZeroLengthPayloadIsDispatchedAtOnce) {
    Run({Concat({JobMessage(2, {}), JobMessage(2, {9})})});
    ASSERT_EQ(handler.jobs.size(), 2u);
    EXPECT_TRUE(handler.jobs[0].payload.empty());
}

TEST_F(MessageFramingTest, RequestsAreRecognisedOnlyAtTheStartOfAReadWithNothingOpen) {
    Bytes write = JobMessage(2, Filled(20));
    Run({Utf16Request(u"@=GetInfo"), Bytes(write.begin(), write.begin() + 10),
         Bytes(write.begin() + 10, write.end()), Utf16Request(u"@=Exit")});
    ASSERT_EQ(handler.requests.size(), 2u);
    EXPECT_EQ(handler.requests[0], Utf16Request(u"@=GetInfo"));
    EXPECT_EQ(handler.requests[1], Utf16Request(u"@=Exit"));
    ASSERT_EQ(handler.jobs.size(), 1u);
    EXPECT_EQ(handler.jobs[0].payload, Filled(20));
}

TEST_F(MessageFramingTest, ReadStartingWithTheMarkerIsNeverARequest) {
    Bytes looksLikeRequest = Utf16Request(u"\u001F=x");
    Run({looksLikeRequest});
    EXPECT_TRUE(handler.requests.empty());
}

TEST_F(MessageFramingTest, HandlerThatEndsTheConnectionStopsTheWalk) {
    handler.endingCommand = 3;
    EXPECT_EQ(Run({Concat({JobMessage(3, Utf16Request(u"a=1")), JobMessage(2, Filled(4))})}),
              LoopEnd::HandlerEnded);
    EXPECT_EQ(handler.jobs.size(), 1u);
}

TEST_F(MessageFramingTest, ClosedPipeIsReportedAsDisconnect) {
    EXPECT_EQ(Run({}), LoopEnd::ReadFailed);
    EXPECT_EQ(handler.standardOutput, "InstanceThread: client disconnected.\n");
    EXPECT_TRUE(handler.HasDebug(u"[PI]InstanceThread: ReadFile PIPE BROKEN exit."));
}

class FailingSource : public ByteSource {
  public:
    platform::ErrorCode Read(void*, std::size_t, std::size_t& bytesRead) override {
        bytesRead = 0;
        return platform::kAccessDenied;
    }
};

TEST_F(MessageFramingTest, OtherReadErrorIsReportedWithItsCode) {
    FailingSource source;
    std::vector<std::uint8_t> buffer(kPipeBufferSize);
    EXPECT_EQ(RunFraming(source, handler, buffer.data()), LoopEnd::ReadFailed);
    EXPECT_EQ(handler.standardOutput, "InstanceThread ReadFile failed, GLE=5.\n");
    EXPECT_TRUE(handler.HasDebug(u"[PI]InstanceThread: ReadFile Error occurred."));
}

}  // namespace
}  // namespace mossvane
