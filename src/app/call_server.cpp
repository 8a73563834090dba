#include "app/call_server.h"

#include <array>
#include <cstdint>
#include <vector>

#include "client/connect.h"
#include "log/debug_print.h"
#include "platform/debug_output.h"
#include "wire/job_message.h"
#include "wire/wire_format.h"

namespace mossvane {

namespace {

// The reply arrives as UTF-16 text; it ends at its first null.
void AppendReplyText(const std::uint8_t* bytes, std::size_t size, std::u16string& reply) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == u'\0') return;
        reply += c;
    }
}

// In byte read mode one read returns what the server has written so far;
// only a pipe in message mode asks for more with kMoreData.
void ReadReply(platform::PipeConnection& connection, std::u16string& reply) {
    std::array<std::uint8_t, kPipeBufferSize> buffer{};
    for (;;) {
        std::size_t got = 0;
        const platform::ErrorCode error = connection.Read(buffer.data(), buffer.size(), got);
        if (error != platform::kSuccess && error != platform::kMoreData) return;
        AppendReplyText(buffer.data(), got, reply);
        if (error == platform::kSuccess) return;
    }
}

}  // namespace

int CallServer(std::u16string_view pipeName, std::u16string& reply,
               std::u16string_view requestText) {
    reply.clear();
    using client::ConnectResult;
    // Every failed open is tried again within the budget, as the verbs always
    // did; only a server of another user ends the call at once.
    const client::ConnectPatience patience{
        kCallServerRetryBudgetMilliseconds, kCallServerRetryStepMilliseconds,
        kCallServerBusyWaitMilliseconds, /*retryEveryFailure=*/true};
    platform::PipeConnection connection;
    platform::ErrorCode error = platform::kSuccess;
    switch (client::ConnectWithRetries(pipeName, patience, connection, error)) {
        case ConnectResult::Connected:
            break;
        case ConnectResult::NoInstance:
        case ConnectResult::Failed:
            return kCallServerNoInstance;
        case ConnectResult::StayedBusy:
            platform::OutputDebugText(u"[PI] CallServer - Could not open pipe");
            return kCallServerStayedBusy;
        case ConnectResult::UntrustedServer:
            DebugPrint(
                u"[PI] CallServer - pipe server is not this user's, nothing sent(Error Code: %d)",
                error);
            return kCallServerWriteFailed;
    }
    if ((error = connection.SetByteReadMode()) != platform::kSuccess) {
        DebugPrint(u"[PI] CallServer - SetNamedPipeHandleState failed(Error Code: %d)", error);
        return kCallServerWriteFailed;
    }
    const std::vector<std::uint8_t> request = EncodeRequest(requestText);
    std::size_t written = 0;
    error = connection.Write(request.data(), request.size(), written);
    // A request cut short would reach the server as a different request.
    if (error != platform::kSuccess || written != request.size()) return kCallServerWriteFailed;
    ReadReply(connection, reply);
    return kCallServerDone;
}

}  // namespace mossvane
