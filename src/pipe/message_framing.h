// The message loop of one connection, apart from the pipe itself: it reads
// from a byte source, tells requests from job messages, reassembles job
// messages across reads and hands each complete message on. Requests are
// recognised only at the start of a read with no job message open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/error.h"

namespace mossvane {

// Where the bytes come from: the pipe in the server, a script in tests.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads at least one byte and at most size bytes; an error otherwise.
    virtual platform::ErrorCode Read(void* buffer, std::size_t size, std::size_t& bytesRead) = 0;
};

// What the loop does with complete messages, and where its traces go.
class MessageHandler {
  public:
    virtual ~MessageHandler() = default;
    // A request: the bytes of one read. False ends the connection.
    virtual bool OnRequest(const std::uint8_t* bytes, std::size_t size) = 0;
    // A complete job message. False ends the connection.
    virtual bool OnJobMessage(std::uint8_t command, const std::uint8_t* payload,
                              std::size_t size) = 0;
    // A debugger-output line, or one for the standard output.
    virtual void TraceDebug(std::u16string_view text) = 0;
    virtual void TraceStandardOutput(std::string_view text) = 0;
};

// Why a connection's loop ended.
enum class LoopEnd {
    ReadFailed,
    HeaderReadFailed,
    InvalidData,
    OutOfMemory,
    HandlerEnded,
};

// Runs the loop until the connection is to end. The read buffer is the
// connection's own (kPipeBufferSize bytes); the job data buffer is made on
// the first job message.
LoopEnd RunFraming(ByteSource& source, MessageHandler& handler, std::uint8_t* readBuffer);

}  // namespace mossvane
