#include "job_stream.h"

#include <cstring>

#include "params/param_text.h"
#include "pipe/job_message.h"
#include "pipe/job_spool.h"
#include "pipe/pipe_constants.h"
#include "platform/wipe.h"

namespace mossvane::cups {

namespace {

// The last bytes of the data so far, to tell whether it ends with the marker.
class TailWatcher {
  public:
    void Add(const std::uint8_t* bytes, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            m_tail[m_next] = bytes[i];
            m_next = (m_next + 1) % kEndOfJobMarkerSize;
            if (m_filled < kEndOfJobMarkerSize) ++m_filled;
        }
    }

    bool EndsWithMarker() const {
        if (m_filled < kEndOfJobMarkerSize) return false;
        for (std::size_t i = 0; i < kEndOfJobMarkerSize; ++i) {
            if (m_tail[(m_next + i) % kEndOfJobMarkerSize] != kEndOfJobMarker[i]) return false;
        }
        return true;
    }

  private:
    std::uint8_t m_tail[kEndOfJobMarkerSize] = {};
    std::size_t m_next = 0;
    std::size_t m_filled = 0;
};

// The end message carries the job information, and with it the number.
bool SendEndJob(MessageSink& sink, const ParamMap& information) {
    std::u16string text = FormatParamText(information);
    std::vector<std::uint8_t> message = EncodeEndJob(text);
    bool sent = sink.Send(message);
    platform::WipeBytes(message.data(), message.size());
    platform::WipeText(text);
    return sent;
}

}  // namespace

ReadStatus ReadPiece(InputSource& source, std::uint8_t* buffer, std::size_t size,
                     std::size_t& bytesRead) {
    bytesRead = 0;
    while (bytesRead < size) {
        std::size_t got = 0;
        ReadStatus status = source.Read(buffer + bytesRead, size - bytesRead, got);
        if (status == ReadStatus::Failed) return status;
        if (status == ReadStatus::End) break;
        bytesRead += got;
    }
    return bytesRead > 0 ? ReadStatus::Data : ReadStatus::End;
}

StreamReport StreamJob(InputSource& source, MessageSink& sink, std::uint32_t jobNumber,
                       const ParamMap& information) {
    StreamReport report;
    if (!sink.Send(EncodeCreateJob(jobNumber))) {
        report.result = StreamResult::SendFailed;
        return report;
    }
    std::vector<std::uint8_t> piece(kMaxJobPayload);
    TailWatcher tail;
    for (;;) {
        std::size_t got = 0;
        ReadStatus status = ReadPiece(source, piece.data(), piece.size(), got);
        if (status == ReadStatus::Failed) {
            report.result = StreamResult::ReadFailed;
            return report;
        }
        if (status == ReadStatus::End) break;
        if (!sink.Send(EncodeJobMessage(WRITE_JOB_CMD, piece.data(), got))) {
            report.result = StreamResult::SendFailed;
            return report;
        }
        tail.Add(piece.data(), got);
        report.dataBytes += got;
    }
    // The server keeps a job only once the marker has passed; data from a
    // program that does not speak the Printer Job Language lacks it.
    if (!tail.EndsWithMarker()) {
        report.markerAdded = true;
        if (!sink.Send(EncodeJobMessage(WRITE_JOB_CMD, kEndOfJobMarker, kEndOfJobMarkerSize))) {
            report.result = StreamResult::SendFailed;
            return report;
        }
    }
    if (!SendEndJob(sink, information)) report.result = StreamResult::SendFailed;
    return report;
}

}  // namespace mossvane::cups
