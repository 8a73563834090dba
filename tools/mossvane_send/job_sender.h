// Sending a file or standard input as a print job, with the client side's
// job stream, and telling how the server took it.
#pragma once

#include <istream>

#include "client/job_stream.h"
#include "platform/pipe.h"
#include "send_options.h"

namespace mossvane::send {

enum class JobResult {
    Sent,               // The server took the whole job and closed the connection.
    SentWithoutMarker,  // Sent, but the data lacks the end-of-job marker.
    ReadFailed,         // The input could not be read.
    ServerEndedEarly,   // The server ended the connection before it took the job.
    ServerAnswered,     // The server wrote something back, which it never should.
};

JobResult SendJob(platform::PipeConnection& connection, const SendOptions& options,
                  std::istream& data, const client::ProgressCallback& progress);

}  // namespace mossvane::send
