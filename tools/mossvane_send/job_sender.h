// Sending a print job: create, the data in pieces, end.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>

#include "platform/pipe.h"
#include "send_options.h"

namespace mossvane::send {

enum class JobResult {
    Sent,               // The server took the whole job and closed the connection.
    SentWithoutMarker,  // Sent, but the data lacks the end-of-job marker.
    ReadFailed,         // The input could not be read.
    ServerEndedEarly,   // A write failed: the server ended the connection.
    ServerAnswered,     // The server wrote something back, which it never should.
};

// Called after each piece with the bytes sent so far.
using ProgressCallback = std::function<void(std::uint64_t bytesSent)>;

JobResult SendJob(platform::PipeConnection& connection, const SendOptions& options,
                  std::istream& data, const ProgressCallback& progress);

}  // namespace mossvane::send
