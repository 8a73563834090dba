// The C API of the client library (include/mossvane/client.h) over the
// client side's C++ room. Each function turns its C arguments into the
// room's types, runs the exchange with its own connection and turns the
// outcome into a status. Nothing escapes as an exception but the unwinding
// of a cancelled thread, which must reach the host's cleanup handlers.
#include "mossvane/client.h"

#include <cxxabi.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "client/client_io.h"
#include "client/connect.h"
#include "client/get_info.h"
#include "client/job_stream.h"
#include "client/library/api_text.h"
#include "platform/wipe.h"
#include "wire/pipe_name.h"
#include "wire/wire_format.h"

using mossvane::client::Deadline;
namespace client = mossvane::client;
namespace platform = mossvane::platform;

namespace {

constexpr unsigned kKnownJobEndFlags = MOSSVANE_JOB_ADD_END_MARKER;

// Every call leaves the caller's errno as it was, successful or not: a host
// may still look at it after a call of its own that a library call followed.
class KeepErrno {
  public:
    KeepErrno() : m_saved(errno) {}
    ~KeepErrno() { errno = m_saved; }
    KeepErrno(const KeepErrno&) = delete;
    KeepErrno& operator=(const KeepErrno&) = delete;

  private:
    int m_saved;
};

mossvane_status StatusOfError(platform::ErrorCode error) {
    switch (error) {
        case platform::kSuccess:
            return MOSSVANE_OK;
        case platform::kSemTimeout:
            return MOSSVANE_TIMEOUT;
        case platform::kBrokenPipe:
        case platform::kConnectionReset:
        case platform::kNetnameDeleted:
        case platform::kNoData:
        case platform::kPipeNotConnected:
            return MOSSVANE_DISCONNECTED;
        case platform::kInvalidData:
            return MOSSVANE_BAD_ANSWER;
        case platform::kNotEnoughMemory:
            return MOSSVANE_OUT_OF_MEMORY;
        case platform::kAccessDenied:
            return MOSSVANE_ACCESS_DENIED;
        case platform::kFilenameTooLong:
            return MOSSVANE_NAME_TOO_LONG;
        case platform::kUntrustedServer:
            return MOSSVANE_UNTRUSTED_SERVER;
        default:
            return MOSSVANE_SYSTEM_ERROR;
    }
}

mossvane_status StatusOfConnect(client::ConnectResult result, platform::ErrorCode error) {
    switch (result) {
        case client::ConnectResult::Connected:
            return MOSSVANE_OK;
        case client::ConnectResult::StayedBusy:
            return MOSSVANE_BUSY;
        case client::ConnectResult::UntrustedServer:
            return MOSSVANE_UNTRUSTED_SERVER;
        case client::ConnectResult::Failed: {
            const mossvane_status status = StatusOfError(error);
            return status == MOSSVANE_OK ? MOSSVANE_SYSTEM_ERROR : status;
        }
        case client::ConnectResult::NoInstance:
            break;
    }
    return MOSSVANE_NO_SERVER;
}

// The whole call counts against the deadline, connecting included. Only a
// server that is not there yet is waited for; any other failure ends the
// call at once.
mossvane_status Connect(const Deadline& deadline, platform::PipeConnection& connection) {
    platform::ErrorCode error = platform::kSuccess;
    const client::ConnectResult result = client::ConnectWithRetries(
        mossvane::UserPipeName(), client::PatienceWithin(deadline.RemainingMilliseconds()),
        connection, error);
    return StatusOfConnect(result, error);
}

// Runs an API function's body; C callers get a status, never an exception.
// The unwinding of a cancelled thread is no error to turn into a status: it
// goes on, or the host would be aborted. That unwinding carries no object, so
// its handler's reference is bound to null by design; the null check of the
// undefined-behaviour sanitizer is told so.
template <typename Body>
__attribute__((no_sanitize("null"))) mossvane_status Guarded(Body body) {
    try {
        return body();
    } catch (const abi::__forced_unwind&) {
        throw;
    } catch (const std::bad_alloc&) {
        return MOSSVANE_OUT_OF_MEMORY;
    } catch (...) {
        return MOSSVANE_SYSTEM_ERROR;
    }
}

// The buffer was checked to hold any number before the user was asked.
mossvane_status GetNumber(char* number, std::uint32_t timeoutMs) {
    const Deadline deadline = Deadline::After(timeoutMs);
    platform::PipeConnection connection;
    if (mossvane_status status = Connect(deadline, connection)) return status;
    std::u16string answer;
    const platform::WipeOnExit wipeAnswer([&] { platform::WipeText(answer); });
    const platform::ErrorCode error = client::RequestNumber(connection, answer, deadline);
    connection.Close();
    if (error != platform::kSuccess) return StatusOfError(error);
    std::u16string digits;
    const platform::WipeOnExit wipeDigits([&] { platform::WipeText(digits); });
    switch (client::ReadNumberAnswer(answer, digits)) {
        case client::NumberAnswer::Cancelled:
            return MOSSVANE_CANCELLED;
        case client::NumberAnswer::Unexpected:
            return MOSSVANE_BAD_ANSWER;
        case client::NumberAnswer::Given:
            break;
    }
    // Digits only, so each character is one byte of UTF-8.
    for (std::size_t i = 0; i < digits.size(); ++i) number[i] = static_cast<char>(digits[i]);
    number[digits.size()] = '\0';
    return MOSSVANE_OK;
}

mossvane_status Request(const char* request, char* answer, std::size_t size, std::size_t* length,
                        std::uint32_t timeoutMs) {
    std::u16string text;
    const platform::WipeOnExit wipeText([&] { platform::WipeText(text); });
    if (!mossvane::api::RequestText(request, text)) return MOSSVANE_INVALID_ARGUMENT;
    // No answer could be waited for: a request sent now would only act
    // behind the caller's back (GETINFO would show a dialog nobody reads).
    if (timeoutMs == 0) return MOSSVANE_TIMEOUT;
    const Deadline deadline = Deadline::After(timeoutMs);
    platform::PipeConnection connection;
    if (mossvane_status status = Connect(deadline, connection)) return status;
    std::u16string reply;
    const platform::WipeOnExit wipeReply([&] { platform::WipeText(reply); });
    const platform::ErrorCode error = client::ExchangeRequest(connection, text, reply, deadline);
    connection.Close();
    if (error != platform::kSuccess) return StatusOfError(error);
    return mossvane::api::CopyAnswer(reply, answer, size, length);
}

}  // namespace

// A job's connection, its messages and the first failure, which every later
// call reports again.
struct mossvane_job {
    explicit mossvane_job(std::uint32_t timeout) : timeoutMs(timeout) {}

    // Each call gets the job's time limit anew.
    void StartCall() { sink.SetDeadline(Deadline::After(timeoutMs)); }

    // After a message could not be sent: a server that ended the job as a
    // failure did not store it, and says so before it closed.
    mossvane_status Fail() {
        if (client::WaitForServerEnd(connection, Deadline::After(0)) ==
            client::ServerEnd::NotStored) {
            status = MOSSVANE_NOT_STORED;
            return status;
        }
        status = StatusOfError(sink.LastError());
        if (status == MOSSVANE_OK) status = MOSSVANE_SYSTEM_ERROR;
        return status;
    }

    std::uint32_t timeoutMs;
    platform::PipeConnection connection;
    client::ConnectionSink sink{connection};
    client::JobWriter writer{sink};
    mossvane_status status = MOSSVANE_OK;
};

namespace {

mossvane_status OpenJob(mossvane_job** job, std::uint32_t number, std::uint32_t timeoutMs) {
    auto opened = std::make_unique<mossvane_job>(timeoutMs);
    opened->StartCall();
    if (mossvane_status status = Connect(Deadline::After(timeoutMs), opened->connection)) {
        return status;
    }
    if (!opened->writer.Create(number)) return opened->Fail();
    *job = opened.release();
    return MOSSVANE_OK;
}

// Everything the caller gave is checked before anything is sent: a job is
// never lost to an entry it could still correct.
mossvane_status EndJob(mossvane_job& job, const mossvane_job_info* info, std::size_t count,
                       unsigned flags) {
    if ((flags & ~kKnownJobEndFlags) != 0) return MOSSVANE_INVALID_ARGUMENT;
    mossvane::ParamMap information;
    const platform::WipeOnExit wipeInformation(
        [&] { mossvane::api::WipeInformation(information); });
    if (!mossvane::api::JobInformation(info, count, information)) {
        return MOSSVANE_INVALID_ARGUMENT;
    }
    if (job.status != MOSSVANE_OK) return job.status;
    job.StartCall();
    if (!job.writer.End(information, (flags & MOSSVANE_JOB_ADD_END_MARKER) != 0)) {
        return job.Fail();
    }
    const Deadline deadline = Deadline::After(job.timeoutMs);
    return mossvane::api::StatusOfServerEnd(client::WaitForServerEnd(job.connection, deadline),
                                            job.writer.EndsWithMarker());
}

}  // namespace

extern "C" {

const char* mossvane_strerror(mossvane_status status) {
    return mossvane::api::StatusText(status);
}

mossvane_status mossvane_get_number(char* number, size_t size, uint32_t timeout_ms) {
    const KeepErrno keepErrno;
    if (number == nullptr || size == 0) return MOSSVANE_INVALID_ARGUMENT;
    platform::WipeBytes(number, size);
    // Found out before the user types a number that could not be given back.
    if (size < MOSSVANE_NUMBER_SIZE) return MOSSVANE_BUFFER_TOO_SMALL;
    // No answer could be waited for: the dialog would ask nobody.
    if (timeout_ms == 0) return MOSSVANE_TIMEOUT;
    const mossvane_status status = Guarded([&] { return GetNumber(number, timeout_ms); });
    if (status != MOSSVANE_OK) platform::WipeBytes(number, size);
    return status;
}

mossvane_status mossvane_request(const char* request, char* answer, size_t size, size_t* length,
                                 uint32_t timeout_ms) {
    const KeepErrno keepErrno;
    if (length != nullptr) *length = 0;
    if (request == nullptr || answer == nullptr || size == 0) return MOSSVANE_INVALID_ARGUMENT;
    answer[0] = '\0';
    return Guarded([&] { return Request(request, answer, size, length, timeout_ms); });
}

uint32_t mossvane_new_job_number(void) {
    const KeepErrno keepErrno;
    return client::NewJobNumber();
}

mossvane_status mossvane_job_open(mossvane_job** job, uint32_t job_number, uint32_t timeout_ms) {
    const KeepErrno keepErrno;
    if (job == nullptr) return MOSSVANE_INVALID_ARGUMENT;
    *job = nullptr;
    return Guarded([&] { return OpenJob(job, job_number, timeout_ms); });
}

mossvane_status mossvane_job_write(mossvane_job* job, const void* data, size_t size) {
    const KeepErrno keepErrno;
    if (job == nullptr || (data == nullptr && size > 0)) return MOSSVANE_INVALID_ARGUMENT;
    if (job->status != MOSSVANE_OK) return job->status;
    return Guarded([&] {
        job->StartCall();
        if (!job->writer.Write(static_cast<const std::uint8_t*>(data), size)) return job->Fail();
        return MOSSVANE_OK;
    });
}

// A cancelled call unwinds past the release: the job stays the caller's, for
// mossvane_job_abort in a cleanup handler.
mossvane_status mossvane_job_end(mossvane_job* job, const mossvane_job_info* info, size_t count,
                                 unsigned flags) {
    const KeepErrno keepErrno;
    if (job == nullptr) return MOSSVANE_INVALID_ARGUMENT;
    const mossvane_status status = Guarded([&] { return EndJob(*job, info, count, flags); });
    // Nothing was sent then: the job stays open for a corrected call.
    if (status != MOSSVANE_INVALID_ARGUMENT) delete job;
    return status;
}

void mossvane_job_abort(mossvane_job* job) {
    const KeepErrno keepErrno;
    delete job;
}

}  // extern "C"
