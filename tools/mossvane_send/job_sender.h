// Sending a file or standard input as a print job, with the client side's
// job stream, and telling how the server took it.
#pragma once

#include <istream>

#include "client/job_stream.h"
#include "platform/pipe.h"
#include "send_options.h"

namespace mossvane::send {

enum class JobResult {
    Sent,                 // The server stored the whole job.
    SentWithoutMarker,    // Sent, but the data lacks the end-of-job marker.
    ReadFailed,           // The input could not be read.
    InformationTooLarge,  // The information can't go in one message; nothing was sent.
    ServerEndedEarly,     // The server ended the connection before it took the job.
    NotStored,            // The server took the job but could not store it.
    OutcomeUnknown,       // The connection failed after the whole job was sent.
};

JobResult SendJob(platform::PipeConnection& connection, const SendOptions& options,
                  std::istream& data, const client::ProgressCallback& progress);

}  // namespace mossvane::send
