#include "client/client_io.h"

#include <array>

#include "platform/wipe.h"
#include "wire/job_message.h"
#include "wire/terminated_text.h"
#include "wire/wire_format.h"

namespace mossvane::client {

namespace {

class WipedBuffer {
  public:
    ~WipedBuffer() { platform::WipeBytes(bytes.data(), bytes.size()); }
    std::array<std::uint8_t, kPipeBufferSize> bytes{};
};

}  // namespace

// Messages are short (one buffer at most): waiting for room once per write
// bounds the time a server that stopped reading can hold the client.
platform::ErrorCode WriteAll(platform::PipeConnection& connection, const std::uint8_t* bytes,
                             std::size_t size, const Deadline& deadline) {
    std::size_t done = 0;
    while (done < size) {
        if (platform::ErrorCode error = connection.WaitForRoom(deadline.RemainingMilliseconds())) {
            return error;
        }
        std::size_t written = 0;
        platform::ErrorCode error = connection.Write(bytes + done, size - done, written);
        if (error != platform::kSuccess) return error;
        if (written == 0) return platform::kWriteFault;
        done += written;
    }
    return platform::kSuccess;
}

platform::ErrorCode WriteAll(platform::PipeConnection& connection,
                             const std::vector<std::uint8_t>& bytes, const Deadline& deadline) {
    return WriteAll(connection, bytes.data(), bytes.size(), deadline);
}

platform::ErrorCode ReadAnswer(platform::PipeConnection& connection, std::u16string& answer,
                               const Deadline& deadline) {
    platform::WipeText(answer);
    WipedBuffer received;
    std::size_t size = 0;
    std::ptrdiff_t length = -1;
    while ((length = TerminatedTextLength(received.bytes.data(), size)) < 0) {
        if (size == received.bytes.size()) return platform::kInvalidData;
        if (platform::ErrorCode error = connection.WaitForData(deadline.RemainingMilliseconds())) {
            return error;
        }
        std::size_t got = 0;
        platform::ErrorCode error =
            connection.Read(received.bytes.data() + size, received.bytes.size() - size, got);
        if (error != platform::kSuccess) return error;
        size += got;
    }
    answer = DecodeText(received.bytes.data(), static_cast<std::size_t>(length));
    return platform::kSuccess;
}

platform::ErrorCode ExchangeRequest(platform::PipeConnection& connection,
                                    std::u16string_view request, std::u16string& answer,
                                    const Deadline& deadline) {
    std::vector<std::uint8_t> message = EncodeRequest(request);
    const platform::WipeOnExit wipeMessage([&] { platform::WipeBuffer(message); });
    platform::ErrorCode error = WriteAll(connection, message, deadline);
    if (error != platform::kSuccess) return error;
    return ReadAnswer(connection, answer, deadline);
}

ServerEnd WaitForServerEnd(platform::PipeConnection& connection, const Deadline& deadline) {
    switch (connection.WaitForServerEnd(deadline.RemainingMilliseconds())) {
        case platform::kSuccess:
            return ServerEnd::Closed;
        case platform::kNetnameDeleted:
            return ServerEnd::EndedEarly;
        // The server never answers a job: anything it writes, or a pipe it
        // breaks instead of disconnecting, is its failure end.
        case platform::kMoreData:
        case platform::kConnectionReset:
            return ServerEnd::NotStored;
        case platform::kSemTimeout:
            return ServerEnd::TimedOut;
        default:
            return ServerEnd::Failed;
    }
}

}  // namespace mossvane::client
