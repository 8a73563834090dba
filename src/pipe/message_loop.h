// What a connection does with the bytes its client sends.
#pragma once

#include "platform/pipe.h"

namespace mossvane {

// How a connection is to end for its client.
enum class ConnectionEnd {
    // In order: everything it asked was answered, every job it sent stored.
    Orderly,
    // As a failure: it sent a job that was not stored (or job messages that
    // could not be read), and must not take the end for a stored job.
    JobNotStored,
};

// Reads and serves messages until the connection is to end.
ConnectionEnd RunMessageLoop(platform::PipeConnection& pipe);

}  // namespace mossvane
