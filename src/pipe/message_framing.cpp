#include "pipe/message_framing.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "log/text_format.h"
#include "pipe/pipe_constants.h"
#include "platform/wipe.h"

namespace mossvane {

namespace {

// The job message being assembled, kept from one read to the next.
struct OpenMessage {
    std::uint8_t command = 0;
    std::uint16_t payloadLength = 0;
    std::size_t assembled = 0;
    std::size_t remaining = 0;
};

class Framing {
  public:
    Framing(ByteSource& source, MessageHandler& handler, std::uint8_t* readBuffer)
        : m_source(source), m_handler(handler), m_read(readBuffer) {}
    // The job information of END_JOB_CMD may hold the identification number.
    ~Framing() {
        if (m_jobData) platform::WipeBytes(m_jobData.get(), kPipeBufferSize);
    }
    Framing(const Framing&) = delete;
    Framing& operator=(const Framing&) = delete;

    LoopEnd Run() {
        for (;;) {
            std::size_t bytesRead = 0;
            platform::ErrorCode error = m_source.Read(m_read, kPipeBufferSize, bytesRead);
            if (error != platform::kSuccess || bytesRead == 0) {
                ReportReadFailure(error == platform::kSuccess ? platform::kReadFault : error);
                return LoopEnd::ReadFailed;
            }
            if (m_open.remaining == 0 && m_read[0] != kJobMarker) {
                if (!m_handler.OnRequest(m_read, bytesRead)) return LoopEnd::HandlerEnded;
                continue;
            }
            if (auto end = ConsumeJobBytes(bytesRead)) return *end;
        }
    }

  private:
    using MaybeEnd = std::optional<LoopEnd>;

    void Trace(std::u16string_view format, std::size_t value) {
        if (auto line = FormatText(format, value)) m_handler.TraceDebug(*line);
    }

    void ReportReadFailure(platform::ErrorCode error) {
        // A client that goes without reading what it was sent resets the
        // connection; for the server that is a disconnect like any other.
        if (error == platform::kBrokenPipe || error == platform::kConnectionReset) {
            m_handler.TraceStandardOutput("InstanceThread: client disconnected.\n");
            m_handler.TraceDebug(u"[PI]InstanceThread: ReadFile PIPE BROKEN exit.");
            return;
        }
        m_handler.TraceStandardOutput(
            "InstanceThread ReadFile failed, GLE=" + std::to_string(error) + ".\n");
        m_handler.TraceDebug(u"[PI]InstanceThread: ReadFile Error occurred.");
    }

    // Walks the job bytes of one read; an end when the connection is over.
    MaybeEnd ConsumeJobBytes(std::size_t bytesRead) {
        if (!m_jobData) {
            m_jobData.reset(new (std::nothrow) std::uint8_t[kPipeBufferSize]);
            if (!m_jobData) return LoopEnd::OutOfMemory;
        }
        std::size_t position = 0;
        if (m_open.remaining > 0) {
            position = AppendPayload(m_read, bytesRead);
            if (m_open.remaining > 0) return std::nullopt;
            if (!Dispatch()) return LoopEnd::HandlerEnded;
        }
        while (position < bytesRead) {
            if (bytesRead - position < kJobHeaderSize) {
                if (!CompleteHeader(position, bytesRead)) return LoopEnd::HeaderReadFailed;
                position = 0;  // The read buffer now holds just the header.
            }
            if (auto end = StartMessage(position, bytesRead)) return *end;
            if (m_open.remaining > 0) return std::nullopt;
            if (!Dispatch()) return LoopEnd::HandlerEnded;
        }
        return std::nullopt;
    }

    // Moves the k header bytes left in this read to the front and reads the
    // missing ones right behind them.
    bool CompleteHeader(std::size_t position, std::size_t& bytesRead) {
        std::size_t have = bytesRead - position;
        Trace(u"[PI][EXE] [Pipe - InstanceThread]ReadData<4 : dwREad :%d", have);
        std::memmove(m_read, m_read + position, have);
        while (have < kJobHeaderSize) {
            std::size_t got = 0;
            platform::ErrorCode error = m_source.Read(m_read + have, kJobHeaderSize - have, got);
            if (error != platform::kSuccess || got == 0) {
                Trace(u"[PI][EXE] [Pipe - InstanceThread]ReadData<4 : Error :%d",
                      error == platform::kSuccess ? platform::kReadFault : error);
                return false;
            }
            have += got;
        }
        bytesRead = kJobHeaderSize;
        return true;
    }

    // Reads the header at position and takes what this read holds of the
    // payload. position moves past what was consumed.
    MaybeEnd StartMessage(std::size_t& position, std::size_t bytesRead) {
        const std::uint8_t* header = m_read + position;
        std::uint16_t length = static_cast<std::uint16_t>(header[2] | (header[3] << 8));
        // A length beyond one buffer can't be assembled: as bad as a missing marker.
        if (header[0] != kJobMarker || length > kMaxJobPayload) {
            m_handler.TraceDebug(u"[PI][EXE] [Pipe - InstanceThread] Invalid command data");
            return LoopEnd::InvalidData;
        }
        m_open = OpenMessage{header[1], length, 0, length};
        position += kJobHeaderSize;
        position += AppendPayload(m_read + position, bytesRead - position);
        return std::nullopt;
    }

    std::size_t AppendPayload(const std::uint8_t* bytes, std::size_t available) {
        std::size_t take = std::min(m_open.remaining, available);
        std::memcpy(m_jobData.get() + m_open.assembled, bytes, take);
        m_open.assembled += take;
        m_open.remaining -= take;
        return take;
    }

    bool Dispatch() {
        return m_handler.OnJobMessage(m_open.command, m_jobData.get(), m_open.payloadLength);
    }

    ByteSource& m_source;
    MessageHandler& m_handler;
    std::uint8_t* m_read;
    std::unique_ptr<std::uint8_t[]> m_jobData;
    OpenMessage m_open;
};

}  // namespace

LoopEnd RunFraming(ByteSource& source, MessageHandler& handler, std::uint8_t* readBuffer) {
    return Framing(source, handler, readBuffer).Run();
}

}  // namespace mossvane
