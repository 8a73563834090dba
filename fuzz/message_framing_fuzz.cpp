// Feeds arbitrary bytes to a connection's message loop, cut into reads at
// arbitrary places. Layout of an input: a byte n, then n + 1 bytes that
// arrive together, again and again; the pipe closes when the input ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "pipe/message_framing.h"
#include "pipe/pipe_constants.h"

namespace {

using mossvane::platform::ErrorCode;

class ChunkedSource : public mossvane::ByteSource {
  public:
    ChunkedSource(const std::uint8_t* data, std::size_t size) {
        std::size_t position = 0;
        while (position < size) {
            std::size_t length = std::min<std::size_t>(data[position] + 1u, size - position - 1);
            ++position;
            if (length == 0) break;
            m_arrivals.emplace_back(data + position, data + position + length);
            m_total += length;
            position += length;
        }
    }

    ErrorCode Read(void* buffer, std::size_t size, std::size_t& bytesRead) override {
        bytesRead = 0;
        if (m_arrivals.empty()) return mossvane::platform::kBrokenPipe;
        auto& next = m_arrivals.front();
        bytesRead = std::min(size, next.size());
        std::memcpy(buffer, next.data(), bytesRead);
        next.erase(next.begin(), next.begin() + static_cast<std::ptrdiff_t>(bytesRead));
        if (next.empty()) m_arrivals.pop_front();
        return mossvane::platform::kSuccess;
    }

    std::size_t total() const { return m_total; }

  private:
    std::deque<std::vector<std::uint8_t>> m_arrivals;
    std::size_t m_total = 0;
};

class CheckingHandler : public mossvane::MessageHandler {
  public:
    bool OnRequest(const std::uint8_t* bytes, std::size_t size) override {
        if (size == 0 || size > mossvane::kPipeBufferSize || bytes[0] == mossvane::kJobMarker) {
            std::abort();
        }
        requestBytes += size;
        return true;
    }
    bool OnJobMessage(std::uint8_t, const std::uint8_t* payload, std::size_t size) override {
        if (size > mossvane::kMaxJobPayload) std::abort();
        // Touch every byte so the sanitizer checks the whole payload.
        volatile std::uint8_t sum = 0;
        for (std::size_t i = 0; i < size; ++i) sum = static_cast<std::uint8_t>(sum + payload[i]);
        jobBytes += size + mossvane::kJobHeaderSize;
        return true;
    }
    void TraceDebug(std::u16string_view) override {}
    void TraceStandardOutput(std::string_view) override {}

    std::size_t requestBytes = 0;
    std::size_t jobBytes = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ChunkedSource source(data, size);
    CheckingHandler handler;
    std::vector<std::uint8_t> readBuffer(mossvane::kPipeBufferSize);
    mossvane::RunFraming(source, handler, readBuffer.data());
    // Nothing can be handed on that never arrived.
    if (handler.requestBytes + handler.jobBytes > source.total()) std::abort();
    return 0;
}
