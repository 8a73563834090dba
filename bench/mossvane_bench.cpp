// Throughput of the hot paths against the cheapest thing that could do the
// same job: the framing loop against copying the bytes once, the parameter
// parser against splitting the text at its line feeds.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "bench_table.h"
#include "params/param_text.h"
#include "pipe/message_framing.h"
#include "pipe/pipe_constants.h"
#include "wire/job_message.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kJobBytes = 256u << 20;
constexpr int kParseRounds = 20000;

// Hands out a prepared stream in pipe-sized reads.
class StreamSource : public mossvane::ByteSource {
  public:
    explicit StreamSource(const std::vector<std::uint8_t>& stream) : m_stream(stream) {}
    mossvane::platform::ErrorCode Read(void* buffer, std::size_t size,
                                       std::size_t& bytesRead) override {
        bytesRead = std::min(size, m_stream.size() - m_position);
        if (bytesRead == 0) return mossvane::platform::kBrokenPipe;
        std::memcpy(buffer, m_stream.data() + m_position, bytesRead);
        m_position += bytesRead;
        return mossvane::platform::kSuccess;
    }

  private:
    const std::vector<std::uint8_t>& m_stream;
    std::size_t m_position = 0;
};

class CountingHandler : public mossvane::MessageHandler {
  public:
    bool OnRequest(const std::uint8_t*, std::size_t) override { return true; }
    bool OnJobMessage(std::uint8_t, const std::uint8_t* payload, std::size_t size) override {
        checksum += size ? payload[size - 1] : 0;
        return true;
    }
    void TraceDebug(std::u16string_view) override {}
    void TraceStandardOutput(std::string_view) override {}
    std::size_t checksum = 0;
};

std::vector<std::uint8_t> MakeJobStream() {
    std::vector<std::uint8_t> piece(mossvane::kMaxJobPayload, 0x5A);
    std::vector<std::uint8_t> message = mossvane::EncodeJobMessage(2, piece.data(), piece.size());
    std::vector<std::uint8_t> stream = mossvane::EncodeCreateJob(1);
    while (stream.size() < kJobBytes) stream.insert(stream.end(), message.begin(), message.end());
    return stream;
}

template <typename Work>
double Seconds(Work work) {
    auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BenchFraming() {
    std::vector<std::uint8_t> stream = MakeJobStream();
    std::vector<std::uint8_t> buffer(mossvane::kPipeBufferSize);
    std::vector<std::uint8_t> copy(mossvane::kPipeBufferSize);
    std::size_t sink = 0;
    double baseline = Seconds([&] {
        StreamSource source(stream);
        std::size_t got = 0;
        while (source.Read(buffer.data(), buffer.size(), got) == 0) {
            std::memcpy(copy.data(), buffer.data(), got);
            sink += copy[got - 1];
        }
    });
    CountingHandler handler;
    double framing = Seconds([&] {
        StreamSource source(stream);
        mossvane::RunFraming(source, handler, buffer.data());
    });
    double megabytes = static_cast<double>(stream.size()) / (1 << 20);
    // The sink keeps the compiler from dropping the work.
    if ((sink + handler.checksum) == 1) std::printf("\n");
    PrintRow({"framing (vs read + copy)", "MiB/s", megabytes / framing, megabytes / baseline,
              baseline / framing, "-"});
}

void BenchParsing() {
    std::u16string text;
    for (int i = 0; i < 40; ++i) text += u"Key" + std::u16string(1, u'A' + i % 26) + u"=value\n";
    std::size_t sink = 0;
    double baseline = Seconds([&] {
        for (int round = 0; round < kParseRounds; ++round) {
            std::size_t start = 0;
            for (std::size_t end; (end = text.find(u'\n', start)) != text.npos; start = end + 1) {
                sink += text.substr(start, end - start).size();
            }
        }
    });
    double parsing = Seconds([&] {
        for (int round = 0; round < kParseRounds; ++round) {
            mossvane::ParamMap params;
            mossvane::ParseParamText(text.data(), static_cast<std::uint32_t>(text.size()), params);
            sink += params.size();
        }
    });
    if (sink == 1) std::printf("\n");
    PrintRow({"parameter text parsing (vs line split)", "texts/s", kParseRounds / parsing,
              kParseRounds / baseline, baseline / parsing, "-"});
}

}  // namespace

int main() {
    BenchFraming();
    BenchParsing();
    return 0;
}
