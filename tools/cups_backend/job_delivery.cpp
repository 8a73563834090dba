#include "job_delivery.h"

#include <cstdint>
#include <vector>

#include "backend_report.h"
#include "backend_status.h"
#include "client/client_io.h"
#include "client/connect.h"
#include "client/get_info.h"
#include "platform/wipe.h"
#include "refusals.h"
#include "wire/pipe_name.h"

namespace mossvane::cups {

namespace {

using client::Deadline;
using client::NumberAnswer;
using client::StreamReport;
using client::StreamResult;

// A socket-activated server takes the connection at once; a server that is
// being started by hand gets a moment before the job is put back for later.
constexpr std::uint32_t kConnectPatienceMs = 3000;
// A server that ended the connection while the job was being written has
// put its failure end (if any) into the socket already.
constexpr std::uint32_t kFailureEndPatienceMs = 1000;

// How the server ended the job's connection.
enum class ServerEnd {
    Stored,     // In order, after the whole job.
    NotStored,  // Its failure end: it did not store the job.
    Broken,     // Closed or reset without the failure end: it died, or was ended.
    Stalled,    // It took nothing more, or did not end, within data-timeout.
};

ServerEnd ToServerEnd(client::ServerEnd end) {
    switch (end) {
        case client::ServerEnd::Closed:
            return ServerEnd::Stored;
        case client::ServerEnd::NotStored:
            return ServerEnd::NotStored;
        case client::ServerEnd::TimedOut:
            return ServerEnd::Stalled;
        case client::ServerEnd::EndedEarly:
        case client::ServerEnd::Failed:
            break;
    }
    return ServerEnd::Broken;
}

// The same after a write the server did not take: an orderly close is no
// sign of a stored job there.
ServerEnd ServerEndWhileSending(platform::PipeConnection& connection,
                                platform::ErrorCode writeError) {
    if (writeError == platform::kSemTimeout) return ServerEnd::Stalled;
    const ServerEnd end =
        ToServerEnd(client::WaitForServerEnd(connection, Deadline::After(kFailureEndPatienceMs)));
    return end == ServerEnd::NotStored ? end : ServerEnd::Broken;
}

std::string HoldAdvice(const Job& job) {
    return "release it (lp -i " + std::to_string(job.arguments.jobId) +
           " -H resume) to send it again, or cancel it.";
}

// The server's end tells what became of the job, but not why it was not
// stored: a job of the same second whose number was equal modulo 10000 (a
// CUPS job id and another client's) took its name, or the user's job folder
// could not take its files. A later try helps the first and may help the
// second; a job that may have been stored is held rather than sent twice.
Refusal JudgeServerEnd(ServerEnd end, bool wholeJobSent, const Job& job) {
    std::string server = "The Mossvane server of " + job.user.name;
    std::string later = "; the job will be tried again later.";
    switch (end) {
        case ServerEnd::Stored:
            return {};
        case ServerEnd::NotStored:
            if (!wholeJobSent) {
                return {true, kBackendRetry,
                        server +
                            " did not take the job: a job of the same second had its name, or "
                            "the job file could not be made or written (the server's debug "
                            "output says which)" +
                            later};
            }
            return {true, kBackendRetry,
                    server +
                        " did not store the job: its files could not be completed, or a job of "
                        "the same second had taken its name (the server's debug output says "
                        "which)" +
                        later};
        case ServerEnd::Broken:
            return {true, kBackendRetry,
                    "The connection to the Mossvane server of " + job.user.name +
                        " broke before the server stored the job" + later};
        case ServerEnd::Stalled:
            break;
    }
    std::string waited = " within " + Seconds(job.device.dataTimeout) + " (data-timeout)";
    if (!wholeJobSent) {
        return {true, kBackendRetry, server + " took no more of the job" + waited + later};
    }
    return {true, kBackendHold,
            server + " did not end the connection" + waited +
                " after the whole job, so whether it stored the job is unknown; the job is "
                "held: " +
                HoldAdvice(job)};
}

// Each job message is one write that must go out within the data time-out.
class PacedSink : public client::MessageSink {
  public:
    PacedSink(platform::PipeConnection& connection, std::chrono::seconds timeout)
        : m_connection(connection), m_timeout(timeout) {}
    bool Send(const std::vector<std::uint8_t>& message) override {
        m_lastError = client::WriteAll(m_connection, message, Deadline::After(m_timeout));
        return m_lastError == platform::kSuccess;
    }
    platform::ErrorCode LastError() const { return m_lastError; }

  private:
    platform::PipeConnection& m_connection;
    std::chrono::seconds m_timeout;
    platform::ErrorCode m_lastError = platform::kSuccess;
};

// Connects as every client does (see TakeOnUser for the folder it looks
// in), which makes sure the user's own server answers, not a process of
// someone who got a socket into the user's folder, before a byte is sent.
int Connect(const Job& job, platform::PipeConnection& connection) {
    client::ConnectPatience patience;
    patience.retryBudgetMilliseconds = kConnectPatienceMs;
    patience.busyWaitMilliseconds = kConnectPatienceMs;
    platform::ErrorCode error = platform::kSuccess;
    switch (client::ConnectWithRetries(UserPipeName(), patience, connection, error)) {
        case client::ConnectResult::Connected:
            return kBackendOk;
        case client::ConnectResult::UntrustedServer:
            return Enforce(RefuseUntrustedServer(job.socketPath, job.user));
        case client::ConnectResult::NoInstance:
        case client::ConnectResult::StayedBusy:
            Report("ERROR", "The Mossvane server of " + job.user.name + " can't be reached at " +
                                job.socketPath + "; the job will be tried again later.");
            return kBackendRetry;
        case client::ConnectResult::Failed:
            break;
    }
    // The user decides what stands at the socket's name.
    Report("ERROR", "Can't connect to " + job.socketPath + " (error " + std::to_string(error) +
                        "); the job will be tried again later.");
    return kBackendRetry;
}

int ReportNumberExchangeFailure(const Job& job, platform::ErrorCode error) {
    if (error == platform::kSemTimeout) {
        Report("ERROR", "No identification number was given within " +
                            Seconds(job.device.numberTimeout) +
                            " (pin-timeout); the job is cancelled.");
        return kBackendCancel;
    }
    Report("ERROR",
           "The Mossvane server ended the connection before it answered; the job will be tried "
           "again later.");
    return kBackendRetry;
}

}  // namespace

int AskForNumber(const Job& job, ParamMap& information) {
    Report("INFO", "Asking " + job.user.name + " for the identification number");
    platform::PipeConnection connection;
    if (int status = Connect(job, connection); status != kBackendOk) return status;
    std::u16string answer;
    const platform::ErrorCode error =
        client::RequestNumber(connection, answer, Deadline::After(job.device.numberTimeout));
    connection.Close();
    if (error != platform::kSuccess) {
        platform::WipeText(answer);
        return ReportNumberExchangeFailure(job, error);
    }
    std::u16string number;
    NumberAnswer verdict = client::ReadNumberAnswer(answer, number);
    platform::WipeText(answer);
    switch (verdict) {
        case NumberAnswer::Given:
            information[client::kPhoneNumberKey] = number;
            platform::WipeText(number);
            return kBackendOk;
        case NumberAnswer::Cancelled:
            Report("ERROR",
                   "No identification number was given (cancelled, or no display to ask "
                   "on); the job is cancelled.");
            return kBackendCancel;
        case NumberAnswer::Unexpected:
            break;
    }
    Report("ERROR",
           "The Mossvane server's answer holds no identification number; the job is cancelled.");
    return kBackendCancel;
}

int SendTheJob(const Job& job, client::InputSource& input, const ParamMap& information) {
    platform::PipeConnection connection;
    if (int status = Connect(job, connection); status != kBackendOk) return status;
    Report("INFO", "Sending job " + std::to_string(job.arguments.jobId) +
                       " to the Mossvane server of " + job.user.name);
    PacedSink sink(connection, job.device.dataTimeout);
    StreamReport report = client::StreamJob(input, sink, job.arguments.jobId, information);
    switch (report.result) {
        case StreamResult::ReadFailed:
            Report("ERROR", "Reading the print data failed; the job was not completed.");
            return kBackendFailed;
        case StreamResult::InformationTooLarge:
            Report("ERROR",
                   "The job's information is too large for the Mossvane server even without "
                   "its options; the job is cancelled.");
            return kBackendCancel;
        case StreamResult::SendFailed:
            return Enforce(
                JudgeServerEnd(ServerEndWhileSending(connection, sink.LastError()), false, job));
        case StreamResult::Sent:
            break;
    }
    const ServerEnd end =
        ToServerEnd(client::WaitForServerEnd(connection, Deadline::After(job.device.dataTimeout)));
    if (int status = Enforce(JudgeServerEnd(end, true, job)); status != kBackendOk) return status;
    Report("INFO", "Job sent: " + std::to_string(report.dataBytes) + " bytes" +
                       (report.markerAdded ? ", end-of-job marker added" : ""));
    return kBackendOk;
}

}  // namespace mossvane::cups
