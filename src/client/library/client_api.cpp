// The C API of the client library (include/mossvane/client.h) over the
// client side's C++ room. Each function turns its C arguments into the
// room's types, runs the exchange with its own connection and turns the
// outcome into a status; nothing escapes as an exception.
#include "mossvane/client.h"

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

mossvane_status StatusOfConnect(client::ConnectResult result) {
    switch (result) {
        case client::ConnectResult::Connected:
            return MOSSVANE_OK;
        case client::ConnectResult::StayedBusy:
            return MOSSVANE_BUSY;
        case client::ConnectResult::UntrustedServer:
            return MOSSVANE_UNTRUSTED_SERVER;
        case client::ConnectResult::NoInstance:
            break;
    }
    return MOSSVANE_NO_SERVER;
}

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
        default:
            return MOSSVANE_SYSTEM_ERROR;
    }
}

// The whole call counts against the deadline, connecting included.
mossvane_status Connect(const Deadline& deadline, platform::PipeConnection& connection) {
    platform::ErrorCode error = platform::kSuccess;
    return StatusOfConnect(client::ConnectWithRetries(
        mossvane::UserPipeName(), client::PatienceWithin(deadline.RemainingMilliseconds()),
        connection, error));
}

// Runs an API function's body; C callers get a status, never an exception.
template <typename Body>
mossvane_status Guarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return MOSSVANE_OUT_OF_MEMORY;
    } catch (...) {
        return MOSSVANE_SYSTEM_ERROR;
    }
}

mossvane_status GetNumber(char* number, std::size_t size, std::uint32_t timeoutMs) {
    const Deadline deadline = Deadline::After(timeoutMs);
    platform::PipeConnection connection;
    if (mossvane_status status = Connect(deadline, connection)) return status;
    std::u16string answer;
    const platform::ErrorCode error = client::RequestNumber(connection, answer, deadline);
    connection.Close();
    if (error != platform::kSuccess) return StatusOfError(error);
    std::u16string digits;
    const client::NumberAnswer verdict = client::ReadNumberAnswer(answer, digits);
    platform::WipeText(answer);
    mossvane_status status = MOSSVANE_BAD_ANSWER;
    if (verdict == client::NumberAnswer::Cancelled) status = MOSSVANE_CANCELLED;
    if (verdict == client::NumberAnswer::Given) {
        // Digits only, so each character is one byte of UTF-8.
        status = digits.size() < size ? MOSSVANE_OK : MOSSVANE_BUFFER_TOO_SMALL;
        for (std::size_t i = 0; status == MOSSVANE_OK && i < digits.size(); ++i) {
            number[i] = static_cast<char>(digits[i]);
        }
        if (status == MOSSVANE_OK) number[digits.size()] = '\0';
    }
    platform::WipeText(digits);
    return status;
}

mossvane_status Request(const char* request, char* answer, std::size_t size, std::size_t* length,
                        std::uint32_t timeoutMs) {
    std::u16string text;
    if (!mossvane::api::RequestText(request, text)) return MOSSVANE_INVALID_ARGUMENT;
    const Deadline deadline = Deadline::After(timeoutMs);
    platform::PipeConnection connection;
    if (mossvane_status status = Connect(deadline, connection)) return status;
    std::u16string reply;
    const platform::ErrorCode error = client::ExchangeRequest(connection, text, reply, deadline);
    connection.Close();
    platform::WipeText(text);
    if (error != platform::kSuccess) return StatusOfError(error);
    const mossvane_status status = mossvane::api::CopyAnswer(reply, answer, size, length);
    platform::WipeText(reply);
    return status;
}

}  // namespace

// A job's connection, its messages and the first failure, which every later
// call reports again.
struct mossvane_job {
    explicit mossvane_job(std::uint32_t timeout) : timeoutMs(timeout) {}

    // Each call gets the job's time limit anew.
    void StartCall() { sink.SetDeadline(Deadline::After(timeoutMs)); }

    mossvane_status Fail() {
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

mossvane_status EndJob(mossvane_job& job, const mossvane_job_info* info, std::size_t count,
                       unsigned flags) {
    mossvane::ParamMap information;
    const bool valid = mossvane::api::JobInformation(info, count, information);
    mossvane_status status = MOSSVANE_INVALID_ARGUMENT;
    if (valid && job.status != MOSSVANE_OK) status = job.status;
    if (valid && job.status == MOSSVANE_OK) {
        job.StartCall();
        const bool addMarker = (flags & MOSSVANE_JOB_ADD_END_MARKER) != 0;
        if (!job.writer.End(information, addMarker)) {
            status = job.Fail();
        } else {
            const Deadline deadline = Deadline::After(job.timeoutMs);
            status = mossvane::api::StatusOfServerEnd(
                client::WaitForServerEnd(job.connection, deadline), job.writer.EndsWithMarker());
        }
    }
    mossvane::api::WipeInformation(information);
    return status;
}

}  // namespace

extern "C" {

const char* mossvane_strerror(mossvane_status status) {
    return mossvane::api::StatusText(status);
}

mossvane_status mossvane_get_number(char* number, size_t size, uint32_t timeout_ms) {
    if (number == nullptr || size == 0) return MOSSVANE_INVALID_ARGUMENT;
    number[0] = '\0';
    const mossvane_status status = Guarded([&] { return GetNumber(number, size, timeout_ms); });
    if (status != MOSSVANE_OK) platform::WipeBytes(number, size);
    return status;
}

mossvane_status mossvane_request(const char* request, char* answer, size_t size, size_t* length,
                                 uint32_t timeout_ms) {
    if (length != nullptr) *length = 0;
    if (request == nullptr || answer == nullptr || size == 0) return MOSSVANE_INVALID_ARGUMENT;
    answer[0] = '\0';
    return Guarded([&] { return Request(request, answer, size, length, timeout_ms); });
}

uint32_t mossvane_new_job_number(void) {
    return client::NewJobNumber();
}

mossvane_status mossvane_job_open(mossvane_job** job, uint32_t job_number, uint32_t timeout_ms) {
    if (job == nullptr) return MOSSVANE_INVALID_ARGUMENT;
    *job = nullptr;
    return Guarded([&] { return OpenJob(job, job_number, timeout_ms); });
}

mossvane_status mossvane_job_write(mossvane_job* job, const void* data, size_t size) {
    if (job == nullptr || (data == nullptr && size > 0)) return MOSSVANE_INVALID_ARGUMENT;
    if (job->status != MOSSVANE_OK) return job->status;
    return Guarded([&] {
        job->StartCall();
        if (!job->writer.Write(static_cast<const std::uint8_t*>(data), size)) return job->Fail();
        return MOSSVANE_OK;
    });
}

mossvane_status mossvane_job_end(mossvane_job* job, const mossvane_job_info* info, size_t count,
                                 unsigned flags) {
    if (job == nullptr) return MOSSVANE_INVALID_ARGUMENT;
    std::unique_ptr<mossvane_job> owned(job);
    return Guarded([&] { return EndJob(*owned, info, count, flags); });
}

void mossvane_job_abort(mossvane_job* job) {
    delete job;
}

}  // extern "C"
