#include "number_request.h"

#include <array>
#include <cstdint>
#include <vector>

#include "client/get_info.h"
#include "platform/wipe.h"
#include "wire/job_message.h"
#include "wire/wire_format.h"

namespace mossvane::cups {

namespace {

// The answer is complete at its first null character.
bool FindTerminator(const std::uint8_t* bytes, std::size_t size, std::size_t& units) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0) {
            units = i / 2;
            return true;
        }
    }
    return false;
}

class WipedBuffer {
  public:
    ~WipedBuffer() { platform::WipeBytes(bytes.data(), bytes.size()); }
    std::array<std::uint8_t, kPipeBufferSize> bytes{};
};

}  // namespace

IoResult RequestNumber(ServerConnection& connection, const Deadline& deadline,
                       std::u16string& answer) {
    platform::WipeText(answer);
    std::vector<std::uint8_t> request = EncodeRequest(client::kGetInfoRequest);
    if (IoResult sent = connection.WriteAll(request.data(), request.size(), deadline);
        sent != IoResult::Done) {
        return sent;
    }
    WipedBuffer received;
    std::size_t size = 0;
    std::size_t units = 0;
    while (!FindTerminator(received.bytes.data(), size, units)) {
        if (size == received.bytes.size()) return IoResult::Failed;
        std::size_t got = 0;
        IoResult read = connection.ReadSome(received.bytes.data() + size,
                                            received.bytes.size() - size, got, deadline);
        if (read != IoResult::Done) return read;
        size += got;
    }
    answer.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        answer += static_cast<char16_t>(received.bytes[2 * i] | (received.bytes[2 * i + 1] << 8));
    }
    return IoResult::Done;
}

}  // namespace mossvane::cups
