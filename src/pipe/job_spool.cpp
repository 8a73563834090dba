#include "pipe/job_spool.h"

#include "platform/debug_output.h"

namespace mossvane {

namespace {

constexpr std::size_t kJobNumberSize = 4;

// The job information must end inside the payload, so nothing past the
// bytes received is ever read as text.
bool HoldsTerminatedText(const std::uint8_t* payload, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        if (payload[i] == 0 && payload[i + 1] == 0) return true;
    }
    return false;
}

}  // namespace

bool JobSpool::Dispatch(std::uint8_t command, const std::uint8_t* payload, std::size_t size) {
    switch (command) {
        case CREATE_JOB_CMD:
            return OnCreateJob(payload, size);
        case WRITE_JOB_CMD:
            return OnWriteJob(payload, size);
        case END_JOB_CMD:
            return OnEndJob(payload, size);
        default:
            return true;  // Unknown commands are dropped; the stream goes on.
    }
}

bool JobSpool::OnCreateJob(const std::uint8_t*, std::size_t size) {
    if (size < kJobNumberSize) {
        platform::OutputDebugText(u"[PI] CREATE_JOB_CMD without a job number, connection ends.");
        return false;
    }
    return true;
}

bool JobSpool::OnWriteJob(const std::uint8_t*, std::size_t) {
    return true;
}

bool JobSpool::OnEndJob(const std::uint8_t* payload, std::size_t size) {
    if (!HoldsTerminatedText(payload, size)) {
        platform::OutputDebugText(
            u"[PI] END_JOB_CMD without terminated job information, connection ends.");
    }
    // The end of a job always ends its connection.
    return false;
}

}  // namespace mossvane
