// The client's reads and writes on a connected pipe, each bounded by a
// deadline: whole messages out, one answer in, and the server's end of a
// job's connection. Buffers that held an answer are wiped before they are
// freed, since an answer may carry the identification number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/deadline.h"
#include "client/job_stream.h"
#include "platform/error.h"
#include "platform/pipe.h"

namespace mossvane::client {

// Writes every byte; kSuccess only when all went out, kSemTimeout when the
// server took nothing more before the deadline.
platform::ErrorCode WriteAll(platform::PipeConnection& connection, const std::uint8_t* bytes,
                             std::size_t size, const Deadline& deadline = Deadline::Never());
platform::ErrorCode WriteAll(platform::PipeConnection& connection,
                             const std::vector<std::uint8_t>& bytes,
                             const Deadline& deadline = Deadline::Never());

// Reads one answer: UTF-16 text up to its terminating null, which may come
// over several reads but within kPipeBufferSize bytes (kInvalidData beyond).
platform::ErrorCode ReadAnswer(platform::PipeConnection& connection, std::u16string& answer,
                               const Deadline& deadline = Deadline::Never());

// Sends one request message (the text with its terminator, in one write) and
// reads its answer.
platform::ErrorCode ExchangeRequest(platform::PipeConnection& connection,
                                    std::u16string_view request, std::u16string& answer,
                                    const Deadline& deadline = Deadline::Never());

// Job messages straight onto the connection, each within the deadline.
class ConnectionSink : public MessageSink {
  public:
    explicit ConnectionSink(platform::PipeConnection& connection,
                            const Deadline& deadline = Deadline::Never())
        : m_connection(connection), m_deadline(deadline) {}

    bool Send(const std::vector<std::uint8_t>& message) override {
        m_lastError = WriteAll(m_connection, message, m_deadline);
        return m_lastError == platform::kSuccess;
    }

    // The limit for the Send calls from now on.
    void SetDeadline(const Deadline& deadline) { m_deadline = deadline; }

    // Why the last Send failed.
    platform::ErrorCode LastError() const { return m_lastError; }

  private:
    platform::PipeConnection& m_connection;
    Deadline m_deadline;
    platform::ErrorCode m_lastError = platform::kSuccess;
};

enum class ServerEnd {
    Closed,      // The server ended the connection in order: it stored the job.
    NotStored,   // It ended the connection as a failure: the job was not stored.
    EndedEarly,  // It ended the connection with messages left unread.
    TimedOut,    // It kept the connection open past the deadline: outcome unknown.
    Failed,      // The wait itself failed: outcome unknown.
};

// After the last message of a job: waits for the server to end the
// connection and tells how it did.
ServerEnd WaitForServerEnd(platform::PipeConnection& connection,
                           const Deadline& deadline = Deadline::Never());

}  // namespace mossvane::client
