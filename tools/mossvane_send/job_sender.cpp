#include "job_sender.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "params/param_text.h"
#include "pipe/job_message.h"
#include "pipe/job_spool.h"
#include "pipe/pipe_constants.h"
#include "pipe_client.h"

namespace mossvane::send {

namespace {

// Remembers the last bytes sent, to tell whether the data ended with the marker.
class TailWatcher {
  public:
    void Add(const std::uint8_t* bytes, std::size_t size) {
        m_tail.insert(m_tail.end(), bytes, bytes + size);
        if (m_tail.size() > kEndOfJobMarkerSize) {
            m_tail.erase(m_tail.begin(), m_tail.end() - kEndOfJobMarkerSize);
        }
    }
    bool EndsWithMarker() const {
        return m_tail.size() == kEndOfJobMarkerSize &&
               std::memcmp(m_tail.data(), kEndOfJobMarker, kEndOfJobMarkerSize) == 0;
    }

  private:
    std::vector<std::uint8_t> m_tail;
};

bool SendPiece(platform::PipeConnection& connection, const std::uint8_t* bytes, std::size_t size) {
    return WriteAll(connection, EncodeJobMessage(WRITE_JOB_CMD, bytes, size)) == platform::kSuccess;
}

}  // namespace

JobResult SendJob(platform::PipeConnection& connection, const SendOptions& options,
                  std::istream& data, const ProgressCallback& progress) {
    if (WriteAll(connection, EncodeCreateJob(options.jobNumber)) != platform::kSuccess) {
        return JobResult::ServerEndedEarly;
    }
    std::vector<std::uint8_t> piece(kMaxJobPayload);
    TailWatcher tail;
    std::uint64_t sent = 0;
    while (data) {
        data.read(reinterpret_cast<char*>(piece.data()),
                  static_cast<std::streamsize>(piece.size()));
        auto got = static_cast<std::size_t>(data.gcount());
        if (got == 0) break;
        if (!SendPiece(connection, piece.data(), got)) return JobResult::ServerEndedEarly;
        tail.Add(piece.data(), got);
        sent += got;
        if (progress) progress(sent);
    }
    if (data.bad()) return JobResult::ReadFailed;
    if (options.addEndOfJobMarker) {
        if (!SendPiece(connection, kEndOfJobMarker, kEndOfJobMarkerSize)) {
            return JobResult::ServerEndedEarly;
        }
        tail.Add(kEndOfJobMarker, kEndOfJobMarkerSize);
    }
    if (WriteAll(connection, EncodeEndJob(FormatParamText(options.jobInformation))) !=
        platform::kSuccess) {
        return JobResult::ServerEndedEarly;
    }
    if (!WaitForServerToClose(connection)) return JobResult::ServerAnswered;
    return tail.EndsWithMarker() ? JobResult::Sent : JobResult::SentWithoutMarker;
}

}  // namespace mossvane::send
