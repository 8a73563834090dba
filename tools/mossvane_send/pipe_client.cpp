#include "pipe_client.h"

#include "app/pipe_connect.h"
#include "pipe/job_message.h"
#include "pipe/pipe_constants.h"
#include "pipe/pipe_name.h"

namespace mossvane::send {

platform::ErrorCode ConnectToServer(platform::PipeConnection& connection,
                                    std::chrono::milliseconds patience) {
    ConnectPatience retries;
    retries.retryBudgetMilliseconds = static_cast<std::uint32_t>(patience.count());
    platform::ErrorCode error = platform::kSuccess;
    switch (ConnectWithRetries(UserPipeName(), retries, connection, error)) {
        case ConnectResult::Connected:
            return platform::kSuccess;
        case ConnectResult::StayedBusy:
            return platform::kPipeBusy;
        case ConnectResult::UntrustedServer:
            return platform::kUntrustedServer;
        case ConnectResult::NoInstance:
            break;
    }
    return error;
}

platform::ErrorCode WriteAll(platform::PipeConnection& connection,
                             const std::vector<std::uint8_t>& bytes) {
    std::size_t written = 0;
    platform::ErrorCode error = connection.Write(bytes.data(), bytes.size(), written);
    if (error == platform::kSuccess && written != bytes.size()) return platform::kWriteFault;
    return error;
}

namespace {

// The answer is complete at its first null character.
bool DecodeTerminatedText(const std::vector<std::uint8_t>& bytes, std::u16string& text) {
    text.clear();
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0) return true;
        text += c;
    }
    return false;
}

}  // namespace

platform::ErrorCode ExchangeRequest(platform::PipeConnection& connection,
                                    std::u16string_view request, std::u16string& answer) {
    if (platform::ErrorCode error = WriteAll(connection, EncodeRequest(request))) return error;
    std::vector<std::uint8_t> received;
    std::uint8_t buffer[kPipeBufferSize];
    while (received.size() < kPipeBufferSize) {
        std::size_t got = 0;
        platform::ErrorCode error = connection.Read(buffer, kPipeBufferSize - received.size(), got);
        if (error != platform::kSuccess) return error;
        received.insert(received.end(), buffer, buffer + got);
        if (DecodeTerminatedText(received, answer)) return platform::kSuccess;
    }
    return platform::kInvalidData;
}

bool WaitForServerToClose(platform::PipeConnection& connection) {
    std::uint8_t byte = 0;
    std::size_t got = 0;
    return connection.Read(&byte, 1, got) != platform::kSuccess;
}

}  // namespace mossvane::send
