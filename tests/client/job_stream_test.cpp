// The job messages the client side sends for a job's data.
#include "client/job_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "params/param_text.h"
#include "wire/wire_format.h"

namespace mossvane::client {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Hands out the data in reads of at most `chunk` bytes, then fails or ends.
class ScriptedSource : public InputSource {
  public:
    ScriptedSource(Bytes data, std::size_t chunk, bool failAtEnd = false)
        : m_data(std::move(data)), m_chunk(chunk), m_failAtEnd(failAtEnd) {}

    ReadStatus Read(std::uint8_t* buffer, std::size_t size, std::size_t& bytesRead) override {
        bytesRead = std::min({size, m_chunk, m_data.size() - m_at});
        if (bytesRead == 0) return m_failAtEnd ? ReadStatus::Failed : ReadStatus::End;
        std::memcpy(buffer, m_data.data() + m_at, bytesRead);
        m_at += bytesRead;
        return ReadStatus::Data;
    }

  private:
    Bytes m_data;
    std::size_t m_chunk;
    bool m_failAtEnd;
    std::size_t m_at = 0;
};

struct Message {
    std::uint8_t command;
    Bytes payload;
};

// Decodes what was sent and refuses from the given message on.
class CapturingSink : public MessageSink {
  public:
    explicit CapturingSink(std::size_t refuseFrom = SIZE_MAX) : m_refuseFrom(refuseFrom) {}

    bool Send(const std::vector<std::uint8_t>& message) override {
        if (m_attempts++ >= m_refuseFrom) return false;
        EXPECT_GE(message.size(), kJobHeaderSize);
        EXPECT_EQ(message[0], kJobMarker);
        std::size_t length = message[2] | (message[3] << 8);
        EXPECT_EQ(length + kJobHeaderSize, message.size());
        EXPECT_LE(length, kMaxJobPayload);
        messages.push_back({message[1], Bytes(message.begin() + kJobHeaderSize, message.end())});
        return true;
    }

    std::vector<Message> messages;

  private:
    std::size_t m_refuseFrom;
    std::size_t m_attempts = 0;
};

Bytes Pattern(std::size_t size, bool endWithMarker) {
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 1);
    if (endWithMarker) {
        std::copy(kEndOfJobMarker, kEndOfJobMarker + kEndOfJobMarkerSize,
                  data.end() - kEndOfJobMarkerSize);
    }
    return data;
}

ParamMap DecodeInformation(const Bytes& payload) {
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

struct StreamCase {
    const char* name;
    std::size_t size;
    std::size_t chunk;  // Largest read the input gives.
    bool endsWithMarker;
    std::vector<std::size_t> pieces;  // WRITE_JOB_CMD sizes, the added marker included.
};

void PrintTo(const StreamCase& param, std::ostream* out) {
    *out << param.name;
}

class JobStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(JobStreamTest, SendsFullPiecesAndEndsWithTheMarker) {
    const StreamCase& param = GetParam();
    Bytes data = Pattern(param.size, param.endsWithMarker);
    ScriptedSource source(data, param.chunk);
    CapturingSink sink;
    ParamMap information{{u"JobId", u"4711"}, {u"User", u"alice"}};

    StreamReport report = StreamJob(source, sink, 4711, information);

    EXPECT_EQ(report.result, StreamResult::Sent);
    EXPECT_EQ(report.dataBytes, param.size);
    EXPECT_EQ(report.markerAdded, !param.endsWithMarker);
    ASSERT_EQ(sink.messages.size(), param.pieces.size() + 2);
    EXPECT_EQ(sink.messages.front().command, CREATE_JOB_CMD);
    EXPECT_EQ(sink.messages.front().payload, (Bytes{0x67, 0x12, 0, 0}));
    Bytes sent;
    for (std::size_t i = 0; i < param.pieces.size(); ++i) {
        const Message& piece = sink.messages[i + 1];
        EXPECT_EQ(piece.command, WRITE_JOB_CMD);
        EXPECT_EQ(piece.payload.size(), param.pieces[i]) << "piece " << i;
        sent.insert(sent.end(), piece.payload.begin(), piece.payload.end());
    }
    Bytes expected = data;
    if (!param.endsWithMarker) {
        expected.insert(expected.end(), kEndOfJobMarker, kEndOfJobMarker + kEndOfJobMarkerSize);
    }
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(sink.messages.back().command, END_JOB_CMD);
    EXPECT_EQ(DecodeInformation(sink.messages.back().payload), information);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, JobStreamTest,
    ::testing::Values(StreamCase{"Empty", 0, 4096, false, {9}},
                      StreamCase{"Small", 100, 4096, false, {100, 9}},
                      StreamCase{"SmallWithMarker", 100, 4096, true, {100}},
                      StreamCase{"OnlyTheMarker", 9, 4096, true, {9}},
                      StreamCase{"ShorterThanTheMarker", 5, 4096, false, {5, 9}},
                      StreamCase{"ExactlyOnePiece", 4100, 4096, false, {4100, 9}},
                      StreamCase{"OnePieceAndOneByte", 4101, 65536, true, {4100, 1}},
                      StreamCase{"ByteByByte", 8300, 1, true, {4100, 4100, 100}},
                      StreamCase{"OddReads", 10000, 333, false, {4100, 4100, 1800, 9}},
                      StreamCase{"LargeReads", 20500, 65536, true, {4100, 4100, 4100, 4100, 4100}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JobStreamTest, AMarkerInsideTheDataIsNotItsEnd) {
    Bytes data = Pattern(200, false);
    std::copy(kEndOfJobMarker, kEndOfJobMarker + kEndOfJobMarkerSize, data.begin() + 50);
    ScriptedSource source(data, 64);
    CapturingSink sink;
    StreamReport report = StreamJob(source, sink, 1, {});
    EXPECT_TRUE(report.markerAdded);
    ASSERT_EQ(sink.messages.size(), 4u);
    EXPECT_EQ(sink.messages[2].payload, Bytes(kEndOfJobMarker, kEndOfJobMarker + 9));
}

TEST(JobStreamTest, AReadFailureLeavesTheJobUnended) {
    ScriptedSource source(Pattern(5000, true), 1000, /*failAtEnd=*/true);
    CapturingSink sink;
    StreamReport report = StreamJob(source, sink, 1, {});
    EXPECT_EQ(report.result, StreamResult::ReadFailed);
    for (const Message& message : sink.messages) EXPECT_NE(message.command, END_JOB_CMD);
}

struct RefusalCase {
    const char* name;
    std::size_t refuseFrom;  // Index of the first message that fails.
    std::size_t size;
};

void PrintTo(const RefusalCase& param, std::ostream* out) {
    *out << param.name;
}

class JobStreamRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(JobStreamRefusalTest, StopsAtTheFirstRefusedMessage) {
    ScriptedSource source(Pattern(GetParam().size, false), 4096);
    CapturingSink sink(GetParam().refuseFrom);
    StreamReport report = StreamJob(source, sink, 1, {});
    EXPECT_EQ(report.result, StreamResult::SendFailed);
    EXPECT_EQ(sink.messages.size(), GetParam().refuseFrom);
}

INSTANTIATE_TEST_SUITE_P(Refusals, JobStreamRefusalTest,
                         ::testing::Values(RefusalCase{"Create", 0, 100},
                                           RefusalCase{"Data", 2, 9000},
                                           RefusalCase{"AddedMarker", 2, 100},
                                           RefusalCase{"End", 3, 100}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mossvane::client
