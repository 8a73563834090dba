// Turning the print data into the job messages of one job: the job number,
// the data in full pieces, the end-of-job marker when the data lacks it, and
// the job information. The input is read through a source and the messages
// go to a sink, so tests choose every read boundary and see every message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "params/param_map.h"

namespace mossvane::cups {

enum class ReadStatus { Data, End, Failed };

// Where the print data comes from: a file or standard input in the backend.
class InputSource {
  public:
    virtual ~InputSource() = default;
    // Data with 1 to size bytes, End when there are no more, or Failed.
    virtual ReadStatus Read(std::uint8_t* buffer, std::size_t size, std::size_t& bytesRead) = 0;
};

// Fills buffer from the source until it holds size bytes or the input ends;
// short reads are joined. Data when bytes were read, End when none were left.
ReadStatus ReadPiece(InputSource& source, std::uint8_t* buffer, std::size_t size,
                     std::size_t& bytesRead);

// Where the encoded job messages go: the server's connection in the backend.
class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // False when the message could not be sent in full.
    virtual bool Send(const std::vector<std::uint8_t>& message) = 0;
};

enum class StreamResult {
    Sent,        // Every message went out.
    ReadFailed,  // The input could not be read; the job was not ended.
    SendFailed,  // The server stopped taking messages.
};

struct StreamReport {
    StreamResult result = StreamResult::Sent;
    std::uint64_t dataBytes = 0;  // Print data read from the input.
    bool markerAdded = false;     // The data lacked the end-of-job marker.
};

// Sends one job. The job information may hold the identification number:
// the copies of it this function makes are wiped before they are freed.
StreamReport StreamJob(InputSource& source, MessageSink& sink, std::uint32_t jobNumber,
                       const ParamMap& information);

}  // namespace mossvane::cups
