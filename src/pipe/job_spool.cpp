#include "pipe/job_spool.h"

#include <algorithm>
#include <cstring>

#include "log/debug_print.h"
#include "pipe/job_file.h"
#include "pipe/job_info.h"
#include "pipe/job_warning.h"
#include "pipe/stale_temporaries.h"
#include "pipe/whole_file_writes.h"
#include "platform/debug_output.h"
#include "platform/wipe.h"
#include "wire/terminated_text.h"

namespace mossvane {

namespace {

std::uint32_t ReadJobNumber(const std::uint8_t* payload) {
    return static_cast<std::uint32_t>(payload[0]) | static_cast<std::uint32_t>(payload[1]) << 8 |
           static_cast<std::uint32_t>(payload[2]) << 16 |
           static_cast<std::uint32_t>(payload[3]) << 24;
}

bool IsEndOfJobMarker(const std::uint8_t* bytes) {
    return std::memcmp(bytes, kEndOfJobMarker, kEndOfJobMarkerSize) == 0;
}

}  // namespace

JobSpool::JobSpool() : m_showWarning(ShowJobWarning) {}

bool JobSpool::Dispatch(std::uint8_t command, const std::uint8_t* payload, std::size_t size) {
    switch (command) {
        case CREATE_JOB_CMD:
            m_jobBegun = true;
            m_jobStored = false;
            return OnCreateJob(payload, size);
        case WRITE_JOB_CMD:
            m_jobBegun = true;
            return OnWriteJob(payload, size);
        case END_JOB_CMD:
            m_jobBegun = true;
            return OnEndJob(payload, size);
        default:
            return true;  // Unknown commands are dropped; the stream goes on.
    }
}

bool JobSpool::OnCreateJob(const std::uint8_t* payload, std::size_t size) {
    if (size < kJobNumberSize) {
        platform::OutputDebugText(u"[PI] CREATE_JOB_CMD without a job number, connection ends.");
        return false;
    }
    // A second job on one connection starts afresh: the earlier job file is
    // closed (it keeps no information file) and the marker must come again,
    // so an information file only ever stands beside a complete job.
    m_jobFile.Close();
    bCreateJob = false;
    bWriteEnd = false;
    m_tail.fill(0);
    m_jobFile = CreateJobFile(ReadJobNumber(payload), m_jobFilePath);
    if (m_jobFilePath.empty() || !m_jobFile.IsValid()) return false;
    bCreateJob = true;
    RemoveStaleJobInfoTemporaries(m_jobFilePath);
    return true;
}

void JobSpool::WatchForEndOfJob(const std::uint8_t* payload, std::size_t size) {
    if (size > kEndOfJobMarkerSize) {
        std::memcpy(m_tail.data(), payload + size - kEndOfJobMarkerSize, kEndOfJobMarkerSize);
        if (IsEndOfJobMarker(m_tail.data())) {
            platform::OutputDebugText(
                u"[PI] [Pipe - InstanceThread]Write Endd... d.d.d.d.d...dwDataLength>9");
            bWriteEnd = true;
        }
        return;
    }
    // A short piece may finish a marker that the previous long piece began;
    // the tail stays as it was.
    std::uint8_t joined[kEndOfJobMarkerSize];
    const std::size_t fromTail = kEndOfJobMarkerSize - size;
    std::memcpy(joined, m_tail.data() + size, fromTail);
    // An empty piece may come without any payload pointer at all.
    if (size > 0) std::memcpy(joined + fromTail, payload, size);
    if (IsEndOfJobMarker(joined)) {
        platform::OutputDebugText(
            u"[PI][EXE] [Pipe - InstanceThread]Write Endd... d.d.d.d.d...divided piece");
        bWriteEnd = true;
    }
}

bool JobSpool::OnWriteJob(const std::uint8_t* payload, std::size_t size) {
    if (!bCreateJob || !m_jobFile.IsValid()) {
        platform::OutputDebugText(u"[PI][InstantThread] bCreateJob is false or invalid handle");
        m_showWarning();
        return false;
    }
    WatchForEndOfJob(payload, size);
    // Straight from the receive buffer, one write per piece.
    if (m_jobFile.AppendAtEnd(payload, size) != platform::kSuccess) {
        platform::OutputDebugText(u"[PI][Pipe - InstanceThread]WRITE_JOB_CMD - WriteFile error");
        m_showWarning();
        return false;
    }
    return true;
}

bool JobSpool::CompleteJobFile() {
    const platform::ErrorCode error = m_jobFile.FlushAndClose();
    if (error == platform::kSuccess) return true;
    if (error == platform::kFileNotFound) {
        DebugPrint(u"[PI][Pipe - InstanceThread]END_JOB_CMD - job file was removed : %s",
                   m_jobFilePath);
    } else {
        DebugPrint(u"[PI][Pipe - InstanceThread]END_JOB_CMD - job file not completed, GLE=%d",
                   static_cast<int>(error));
    }
    m_showWarning();
    return false;
}

bool JobSpool::OnEndJob(const std::uint8_t* payload, std::size_t size) {
    const std::ptrdiff_t length = TerminatedTextLength(payload, size);
    if (length < 0) {
        platform::OutputDebugText(
            u"[PI] END_JOB_CMD without terminated job information, connection ends.");
        return false;
    }
    if (!bWriteEnd || !m_jobFile.IsValid()) {
        platform::OutputDebugText(u"[PI][InstantThread] bWriteEnd is false or invalid handle");
        return false;
    }
    // The job file is complete, on stable storage and closed before its
    // information file exists.
    if (!CompleteJobFile()) return false;
    m_jobStored = WriteInformationFile(payload, static_cast<std::size_t>(length));
    // The end of a job always ends its connection.
    return false;
}

bool JobSpool::WriteInformationFile(const std::uint8_t* payload, std::size_t length) {
    std::u16string text(length, u'\0');
    std::memcpy(text.data(), payload, text.size() * sizeof(char16_t));
    platform::ErrorCode error = platform::kSuccess;
    {
        // The process must not end between the temporary file and its rename.
        WholeFileWrite whole;
        error = WriteJobInfo(m_jobFilePath, text.data(), text.size());
    }
    // The text may hold the identification number.
    platform::WipeText(text);
    if (error == platform::kSuccess) return true;
    if (error == platform::kAlreadyExists) {
        DebugPrint(u"[PI][Pipe - InstanceThread]Job information file already exists : %s",
                   JobInfoPathFor(m_jobFilePath));
    } else {
        DebugPrint(
            u"[PI][Pipe - InstanceThread]END_JOB_CMD - information file not written, "
            u"GLE=%d",
            static_cast<int>(error));
    }
    return false;
}

}  // namespace mossvane
