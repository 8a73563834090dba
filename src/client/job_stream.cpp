#include "client/job_stream.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "params/param_text.h"
#include "platform/system_info.h"
#include "platform/wipe.h"
#include "wire/job_message.h"
#include "wire/wire_format.h"

namespace mossvane::client {

JobWriter::JobWriter(MessageSink& sink, ProgressCallback progress)
    : m_sink(sink), m_progress(std::move(progress)) {
    m_piece.reserve(kMaxJobPayload);
}

bool JobWriter::Create(std::uint32_t jobNumber) {
    return m_sink.Send(EncodeCreateJob(jobNumber));
}

bool JobWriter::SendPiece(const std::uint8_t* data, std::size_t size) {
    if (!m_sink.Send(EncodeJobMessage(WRITE_JOB_CMD, data, size))) return false;
    m_tail.insert(m_tail.end(), data, data + size);
    if (m_tail.size() > kEndOfJobMarkerSize) {
        m_tail.erase(m_tail.begin(), m_tail.end() - kEndOfJobMarkerSize);
    }
    return true;
}

bool JobWriter::Flush() {
    if (m_piece.empty()) return true;
    const bool sent = SendPiece(m_piece.data(), m_piece.size());
    m_sentBytes += m_piece.size();
    m_piece.clear();
    if (sent && m_progress) m_progress(m_sentBytes);
    return sent;
}

bool JobWriter::Write(const std::uint8_t* data, std::size_t size) {
    m_dataBytes += size;
    while (size > 0) {
        const std::size_t take = std::min(size, kMaxJobPayload - m_piece.size());
        m_piece.insert(m_piece.end(), data, data + take);
        data += take;
        size -= take;
        if (m_piece.size() == kMaxJobPayload && !Flush()) return false;
    }
    return true;
}

bool JobWriter::EndsWithMarker() const {
    return m_tail.size() == kEndOfJobMarkerSize &&
           std::memcmp(m_tail.data(), kEndOfJobMarker, kEndOfJobMarkerSize) == 0;
}

bool InformationFits(const ParamMap& information) {
    return JobInformationFits(FormattedParamTextLength(information));
}

bool JobWriter::End(const ParamMap& information, bool addMarkerWhenMissing) {
    if (!InformationFits(information)) return false;
    if (!Flush()) return false;
    // The server keeps a job only once the marker has passed; data from a
    // program that does not speak the Printer Job Language lacks it.
    if (addMarkerWhenMissing && !EndsWithMarker()) {
        if (!SendPiece(kEndOfJobMarker, kEndOfJobMarkerSize)) return false;
        m_markerAdded = true;
    }
    std::u16string text = FormatParamText(information);
    const platform::WipeOnExit wipeText([&] { platform::WipeText(text); });
    std::vector<std::uint8_t> message = EncodeEndJob(text);
    const platform::WipeOnExit wipeMessage([&] { platform::WipeBuffer(message); });
    return m_sink.Send(message);
}

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

namespace {

StreamReport Finish(StreamResult result, const JobWriter& writer) {
    return {result, writer.DataBytes(), writer.MarkerAdded(), writer.EndsWithMarker()};
}

}  // namespace

StreamReport StreamJob(InputSource& source, MessageSink& sink, std::uint32_t jobNumber,
                       const ParamMap& information, const StreamOptions& options) {
    JobWriter writer(sink, options.progress);
    if (!InformationFits(information)) return Finish(StreamResult::InformationTooLarge, writer);
    if (!writer.Create(jobNumber)) return Finish(StreamResult::SendFailed, writer);
    std::vector<std::uint8_t> piece(kMaxJobPayload);
    for (;;) {
        std::size_t got = 0;
        ReadStatus status = ReadPiece(source, piece.data(), piece.size(), got);
        if (status == ReadStatus::Failed) return Finish(StreamResult::ReadFailed, writer);
        if (status == ReadStatus::End) break;
        if (!writer.Write(piece.data(), got)) return Finish(StreamResult::SendFailed, writer);
    }
    if (!writer.End(information, options.addMarkerWhenMissing)) {
        return Finish(StreamResult::SendFailed, writer);
    }
    return Finish(StreamResult::Sent, writer);
}

namespace {

// The server names a job file by the second and the job number modulo
// 10000, so only the low four decimal digits tell two jobs of one second
// apart. They come from the process id, spread by a step near 10000 divided
// by the golden ratio so that the ids of processes started one after another
// land far apart, plus a count of the jobs of this process, which keeps its
// own jobs apart. The digits above them come from the clock.
constexpr std::uint32_t kFileNumberModulus = kJobNumberModulus;
constexpr std::uint32_t kProcessSpread = 6181;
constexpr std::uint32_t kClockPartLimit = UINT32_MAX / kFileNumberModulus;

std::atomic<std::uint32_t> g_jobsNumbered{0};

}  // namespace

std::uint32_t NewJobNumber() {
    const std::uint32_t process = platform::CurrentProcessId() % kFileNumberModulus;
    const std::uint32_t count = g_jobsNumbered.fetch_add(1, std::memory_order_relaxed);
    const std::uint32_t fileNumber =
        (process * kProcessSpread + count % kFileNumberModulus) % kFileNumberModulus;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    const auto clockPart = static_cast<std::uint32_t>(seconds.count() % kClockPartLimit);
    return clockPart * kFileNumberModulus + fileNumber;
}

}  // namespace mossvane::client
