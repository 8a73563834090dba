#include "pipe/message_loop.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "log/debug_print.h"
#include "pipe/job_spool.h"
#include "pipe/message_framing.h"
#include "pipe/pipe_constants.h"
#include "pipe/pipe_server.h"
#include "pipe/request_answering.h"
#include "pipe/server_state.h"
#include "platform/debug_output.h"
#include "platform/wipe.h"
#include "wire/terminated_text.h"

namespace mossvane {

namespace {

class PipeByteSource : public ByteSource {
  public:
    explicit PipeByteSource(platform::PipeConnection& pipe) : m_pipe(pipe) {}

    platform::ErrorCode Read(void* buffer, std::size_t size, std::size_t& bytesRead) override {
        platform::ErrorCode error = m_pipe.Read(buffer, size, bytesRead);
        if (error == platform::kSemTimeout && !m_clientChecked) {
            DebugPrint(u"[PI] Client of no known user sent nothing for %u ms, connection ends.",
                       platform::kUnidentifiedClientPatienceMilliseconds);
        }
        if (error != platform::kSuccess || m_clientChecked) return error;
        // Who the client is can be told once it has sent something; nothing
        // it sent is looked at before.
        m_clientChecked = true;
        error = m_pipe.CheckClientUser();
        if (error != platform::kSuccess) {
            bytesRead = 0;
            DebugPrint(u"[PI] Refused a client of another user or of no known user, GLE=%d.",
                       error);
        }
        return error;
    }

  private:
    platform::PipeConnection& m_pipe;
    bool m_clientChecked = false;
};

// Counts the connection among those that carry requests (see
// ServerState::requestConnections) from its first request until it ends or
// starts a print job after all. While the answer to its EXIT request is on
// its way it does not count, so that the stop waits for that answer.
class RequestConnectionMark {
  public:
    RequestConnectionMark() = default;
    ~RequestConnectionMark() { Clear(); }
    RequestConnectionMark(const RequestConnectionMark&) = delete;
    RequestConnectionMark& operator=(const RequestConnectionMark&) = delete;

    void SetUnlessJob() {
        if (m_set || m_job || m_stopHeld) return;
        m_set = true;
        ++Server().requestConnections;
    }
    void ClearForJob() {
        m_job = true;
        Clear();
    }
    // A connection that does not count is waited for by every stop.
    void HoldStop() {
        m_stopHeld = true;
        Clear();
    }
    void ReleaseStop() {
        if (!m_stopHeld) return;
        m_stopHeld = false;
        SetUnlessJob();
    }
    bool HoldsStop() const { return m_stopHeld; }

  private:
    void Clear() {
        if (!m_set) return;
        m_set = false;
        --Server().requestConnections;
    }

    bool m_set = false;
    bool m_job = false;
    bool m_stopHeld = false;
};

class ConnectionHandler : public MessageHandler, public RequestClient {
  public:
    ConnectionHandler(platform::PipeConnection& pipe, char16_t* replyBuffer)
        : m_pipe(pipe), m_reply(replyBuffer) {}

    // Once seen gone, the client stays gone.
    bool HasGone() override {
        if (!m_gone) m_gone = m_pipe.ClientHasGone();
        return m_gone;
    }

    void HoldStopUntilAnswered() override { m_kind.HoldStop(); }

    bool OnRequest(const std::uint8_t* bytes, std::size_t size) override {
        std::ptrdiff_t length = TerminatedTextLength(bytes, size);
        if (length < 0) {
            platform::OutputDebugText(u"[PI] Request without terminating null, connection ends.");
            return false;
        }
        std::u16string request(static_cast<std::size_t>(length), u'\0');
        std::memcpy(request.data(), bytes, request.size() * sizeof(char16_t));
        m_kind.SetUnlessJob();
        std::uint32_t answerLength = 0;
        PipeServer::GetAnswerToRequest(request.c_str(), m_reply, &answerLength, *this);
        // Whatever the client sent stays no longer than it is needed.
        platform::WipeText(request);
        // An answer for a client that has gone would go nowhere; the
        // connection ends instead.
        const bool written = !m_gone && WriteAnswer(answerLength);
        // The answer may hold the identification number: it leaves no trace
        // in memory once it is on its way.
        platform::WipeBytes(m_reply, answerLength);
        if (m_kind.HoldsStop()) {
            if (written) m_pipe.Flush();
            m_kind.ReleaseStop();
        }
        return written;
    }

    bool OnJobMessage(std::uint8_t command, const std::uint8_t* payload,
                      std::size_t size) override {
        m_kind.ClearForJob();
        return m_jobs.Dispatch(command, payload, size);
    }

    void TraceDebug(std::u16string_view text) override { platform::OutputDebugText(text); }

    bool HoldsUnstoredJob() const { return m_jobs.HoldsUnstoredJob(); }

    void TraceStandardOutput(std::string_view text) override {
        platform::WriteStandardOutput(text);
    }

  private:
    bool WriteAnswer(std::uint32_t answerLength) {
        std::size_t written = 0;
        platform::ErrorCode error = m_pipe.Write(m_reply, answerLength, written);
        if (error == platform::kSuccess && written == answerLength) return true;
        platform::WriteStandardOutput(
            "InstanceThread WriteFile failed, GLE=" + std::to_string(error) + ".\n");
        return false;
    }

    platform::PipeConnection& m_pipe;
    char16_t* m_reply;
    JobSpool m_jobs;
    RequestConnectionMark m_kind;
    bool m_gone = false;
};

// A buffer of the connection's, wiped before it is given back: what the
// client sent (a job's information) may hold the identification number.
template <typename T, std::size_t Count>
class WipedBuffer {
  public:
    WipedBuffer() : m_data(new (std::nothrow) T[Count]) {}
    ~WipedBuffer() {
        if (m_data) platform::WipeBytes(m_data.get(), Count * sizeof(T));
    }
    WipedBuffer(const WipedBuffer&) = delete;
    WipedBuffer& operator=(const WipedBuffer&) = delete;

    T* get() const { return m_data.get(); }

  private:
    std::unique_ptr<T[]> m_data;
};

}  // namespace

ConnectionEnd RunMessageLoop(platform::PipeConnection& pipe) {
    // A connection whose buffers can't be had simply ends.
    WipedBuffer<std::uint8_t, kPipeBufferSize> readBuffer;
    WipedBuffer<char16_t, kAnswerCapacity> replyBuffer;
    if (!readBuffer.get() || !replyBuffer.get()) return ConnectionEnd::Orderly;
    PipeByteSource source(pipe);
    ConnectionHandler handler(pipe, replyBuffer.get());
    switch (RunFraming(source, handler, readBuffer.get())) {
        case LoopEnd::ReadFailed:
        case LoopEnd::HandlerEnded:
            break;
        case LoopEnd::HeaderReadFailed:
        case LoopEnd::InvalidData:
        case LoopEnd::OutOfMemory:
            // Job messages came that could not be taken in: whatever job they
            // carried is lost.
            return ConnectionEnd::JobNotStored;
    }
    return handler.HoldsUnstoredJob() ? ConnectionEnd::JobNotStored : ConnectionEnd::Orderly;
}

}  // namespace mossvane
