#include "job_delivery.h"

#include <cstdint>
#include <vector>

#include "backend_report.h"
#include "backend_status.h"
#include "client/get_info.h"
#include "number_request.h"
#include "platform/wipe.h"
#include "refusals.h"
#include "server_connection.h"

namespace mossvane::cups {

namespace {

using client::NumberAnswer;
using client::StreamReport;
using client::StreamResult;

// A socket-activated server takes the connection at once; a server that is
// being started by hand gets a moment before the job is put back for later.
constexpr auto kConnectPatience = std::chrono::seconds(3);
// A server that ended the connection while the job was being written has
// put its failure end (if any) into the socket already.
constexpr auto kFailureEndPatience = std::chrono::seconds(1);

// How the server ended the job's connection.
enum class ServerEnd {
    Stored,     // In order, after the whole job.
    NotStored,  // Its failure end: it did not store the job.
    Broken,     // Closed or reset without the failure end: it died, or was ended.
    Stalled,    // It took nothing more, or did not end, within data-timeout.
};

ServerEnd ToServerEnd(IoResult waitedForClose) {
    switch (waitedForClose) {
        case IoResult::Done:
            return ServerEnd::Stored;
        case IoResult::Failed:
            // The server never answers a job message: any byte is its
            // failure end.
            return ServerEnd::NotStored;
        case IoResult::TimedOut:
            return ServerEnd::Stalled;
        case IoResult::Closed:
            break;
    }
    return ServerEnd::Broken;
}

// The same after a write the server did not take: an orderly close is no
// sign of a stored job there.
ServerEnd ServerEndWhileSending(ServerConnection& connection, IoResult writeResult) {
    if (writeResult == IoResult::TimedOut) return ServerEnd::Stalled;
    ServerEnd end = ToServerEnd(connection.WaitForClose(Deadline::After(kFailureEndPatience)));
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
class ConnectionSink : public client::MessageSink {
  public:
    ConnectionSink(ServerConnection& connection, std::chrono::seconds timeout)
        : m_connection(connection), m_timeout(timeout) {}
    bool Send(const std::vector<std::uint8_t>& message) override {
        m_result =
            m_connection.WriteAll(message.data(), message.size(), Deadline::After(m_timeout));
        return m_result == IoResult::Done;
    }
    IoResult LastResult() const { return m_result; }

  private:
    ServerConnection& m_connection;
    std::chrono::seconds m_timeout;
    IoResult m_result = IoResult::Done;
};

// Connects and makes sure the user's own server answers, not a process of
// someone who got a socket into the user's folder.
int Connect(const Job& job, ServerConnection& connection) {
    switch (connection.Connect(job.socketPath, kConnectPatience)) {
        case ConnectResult::Connected:
            break;
        case ConnectResult::NoServer:
            Report("ERROR", "The Mossvane server of " + job.user.name + " can't be reached at " +
                                job.socketPath + "; the job will be tried again later.");
            return kBackendRetry;
        case ConnectResult::Failed:
            // The user decides what stands at the socket's name.
            Report("ERROR", "Can't connect to " + job.socketPath + " (error " +
                                std::to_string(connection.LastError()) +
                                "); the job will be tried again later.");
            return kBackendRetry;
    }
    std::uint32_t peerUid = 0;
    bool peerKnown = connection.PeerUid(peerUid);
    return Enforce(RefuseServerPeer(peerKnown, peerUid, job.socketPath, job.user));
}

int ReportNumberExchangeFailure(const Job& job, IoResult result) {
    if (result == IoResult::TimedOut) {
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
    ServerConnection connection;
    if (int status = Connect(job, connection); status != kBackendOk) return status;
    std::u16string answer;
    IoResult result = RequestNumber(connection, Deadline::After(job.device.numberTimeout), answer);
    connection.Close();
    if (result != IoResult::Done) {
        platform::WipeText(answer);
        return ReportNumberExchangeFailure(job, result);
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
    ServerConnection connection;
    if (int status = Connect(job, connection); status != kBackendOk) return status;
    Report("INFO", "Sending job " + std::to_string(job.arguments.jobId) +
                       " to the Mossvane server of " + job.user.name);
    ConnectionSink sink(connection, job.device.dataTimeout);
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
                JudgeServerEnd(ServerEndWhileSending(connection, sink.LastResult()), false, job));
        case StreamResult::Sent:
            break;
    }
    ServerEnd end = ToServerEnd(connection.WaitForClose(Deadline::After(job.device.dataTimeout)));
    if (int status = Enforce(JudgeServerEnd(end, true, job)); status != kBackendOk) return status;
    Report("INFO", "Job sent: " + std::to_string(report.dataBytes) + " bytes" +
                       (report.markerAdded ? ", end-of-job marker added" : ""));
    return kBackendOk;
}

}  // namespace mossvane::cups
