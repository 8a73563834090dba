// mossvane: the CUPS backend that hands print jobs to the job user's own
// server. CUPS runs it as root (the file has mode 0700) with the job's
// command line; it serves only a user CUPS authenticated on this machine,
// never root or a system account, becomes that user, checks the user's
// runtime folder, connects to the user's socket there (which starts the
// server on demand), checks that the server runs as the user and sends the
// job, never waiting on the server without a bound. Progress and errors go to CUPS as "INFO:" and
// "ERROR:" lines on standard error; the identification number never does.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "account_rules.h"
#include "backend_arguments.h"
#include "backend_status.h"
#include "client/get_info.h"
#include "client/job_stream.h"
#include "file_input.h"
#include "forward/forward_job.h"
#include "job_owner.h"
#include "number_request.h"
#include "platform/wipe.h"
#include "refusals.h"
#include "runtime_folder.h"
#include "server_connection.h"
#include "system_user.h"
#include "termination.h"

namespace mossvane::cups {
namespace {

using client::InputSource;
using client::MessageSink;
using client::NumberAnswer;
using client::StreamReport;
using client::StreamResult;

// A socket-activated server takes the connection at once; a server that is
// being started by hand gets a moment before the job is put back for later.
constexpr auto kConnectPatience = std::chrono::seconds(3);

// One line for CUPS; a line break inside would start a line CUPS reads
// as a message of its own.
void Report(const char* level, std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    std::fprintf(stderr, "%s: %s\n", level, text.c_str());
    std::fflush(stderr);
}

// Reports a refusal; its status, or kBackendOk when there is none.
int Enforce(const Refusal& refusal) {
    if (!refusal.refused) return kBackendOk;
    Report("ERROR", refusal.message);
    return refusal.status;
}

std::string Seconds(std::chrono::seconds duration) {
    return std::to_string(duration.count()) + " seconds";
}

// Each job message is one write that must go out within the data time-out.
class ConnectionSink : public MessageSink {
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

void WipeValues(ParamMap& set) {
    for (auto& entry : set) platform::WipeText(entry.second);
    set.clear();
}

// Wipes the job information whatever way the job ends.
class InformationGuard {
  public:
    explicit InformationGuard(ParamMap& information) : m_information(information) {}
    ~InformationGuard() { WipeValues(m_information); }
    InformationGuard(const InformationGuard&) = delete;
    InformationGuard& operator=(const InformationGuard&) = delete;

  private:
    ParamMap& m_information;
};

struct Job {
    JobArguments arguments;
    DeviceOptions device;
    UserRecord user;
    std::string runtimeFolder;
    std::string socketPath;
};

std::string QueueName() {
    const char* printer = std::getenv("PRINTER");
    return printer != nullptr && printer[0] != '\0' ? printer : "<queue>";
}

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
            Report("ERROR", "Can't connect to " + job.socketPath + " (error " +
                                std::to_string(connection.LastError()) + ").");
            return kBackendFailed;
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
    Report("ERROR", "The Mossvane server ended the connection before it answered.");
    return kBackendFailed;
}

// pin=ask: the user's own server asks for the number on the user's display.
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
    Report("ERROR", "The Mossvane server's answer holds no identification number.");
    return kBackendFailed;
}

int ReportStalledServer(const Job& job) {
    Report("ERROR", "The Mossvane server of " + job.user.name + " did not take the job for " +
                        Seconds(job.device.dataTimeout) +
                        " (data-timeout); the job will be tried again later.");
    return kBackendRetry;
}

int SendTheJob(const Job& job, InputSource& input, const ParamMap& information) {
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
        case StreamResult::SendFailed:
            if (sink.LastResult() == IoResult::TimedOut) return ReportStalledServer(job);
            Report("ERROR",
                   "The Mossvane server refused the job or ended the connection early (its "
                   "debug output says why).");
            return kBackendFailed;
        case StreamResult::InformationTooLarge:
            Report("ERROR", "The job's information is too large for the Mossvane server.");
            return kBackendCancel;
        case StreamResult::Sent:
            break;
    }
    switch (connection.WaitForClose(Deadline::After(job.device.dataTimeout))) {
        case IoResult::Done:
            break;
        case IoResult::TimedOut:
            return ReportStalledServer(job);
        case IoResult::Closed:
            // Only an orderly end says that the server stored the job.
            Report("ERROR",
                   "The connection to the Mossvane server broke before it took the whole job; "
                   "the job will be tried again later.");
            return kBackendRetry;
        case IoResult::Failed:
            // Its failure end: the job's name was taken, or its files could
            // not be written.
            Report("ERROR",
                   "The Mossvane server did not store the job (its debug output says why); the "
                   "job will be tried again later.");
            return kBackendRetry;
    }
    Report("INFO", "Job sent: " + std::to_string(report.dataBytes) + " bytes" +
                       (report.markerAdded ? ", end-of-job marker added" : ""));
    return kBackendOk;
}

// Whom the job is for, and whether the backend may act for them.
int ChooseUser(Job& job, Access& access) {
    SystemUserDirectory directory;
    access = DecideAccess(job.arguments.user, CurrentCaller(), directory, job.user);
    if (access == Access::UnknownUser) {
        Report("ERROR", "There is no user \"" + job.arguments.user +
                            "\" on this system to hand the job to; the job is cancelled.");
        return kBackendCancel;
    }
    if (access == Access::OtherUser) {
        Report("ERROR", "The backend runs as user id " +
                            std::to_string(CurrentCaller().effectiveUid) +
                            " and acts only for that user, not for \"" + job.arguments.user +
                            "\"; install it owned by root with mode 0700.");
        return kBackendFailed;
    }
    std::uint32_t firstUserUid = ReadFirstUserUid();
    AccountKind kind = ClassifyAccount(job.user.uid, firstUserUid);
    if (int status = Enforce(RefuseAccount(job.user, kind, firstUserUid)); status != kBackendOk) {
        return status;
    }
    // Run by CUPS as root, the name is only what the submitter claimed; run
    // by the user (by hand), the system already vouches for who that is.
    if (access != Access::BecomeUser) return kBackendOk;
    OwnerProof proof =
        CheckJobOwner(job.user.uid, std::getenv(kAuthUidVariable), job.arguments.options);
    return Enforce(RefuseUnprovenOwner(job.user, proof, QueueName()));
}

// Becomes the job user and checks the runtime folder. The input is opened
// first: CUPS's spool file can be read by root only.
int TakeOnUser(Job& job, FileInput& input) {
    Access access = Access::OtherUser;
    if (int status = ChooseUser(job, access); status != kBackendOk) return status;
    std::string runtimeRoot;
    std::string error;
    if (!ChooseRuntimeRoot(std::getenv(kRuntimeRootVariable), runtimeRoot, error)) {
        Report("ERROR", error);
        return kBackendStop;
    }
    job.runtimeFolder = UserRuntimeFolder(runtimeRoot, job.user.uid);
    job.socketPath = UserSocketPath(runtimeRoot, job.user.uid, job.user.name);
    if (!input.Open(job.arguments.file, error)) {
        Report("ERROR", error);
        return kBackendFailed;
    }
    if (access == Access::BecomeUser && !BecomeUser(job.user, error)) {
        Report("ERROR", "Can't take on the identity of " + job.user.name + ": " + error);
        return kBackendFailed;
    }
    Report("DEBUG", "Acting for " + job.user.name + " as " + DescribeIdentity());
    FolderVerdict folder = JudgeRuntimeFolder(InspectFolder(job.runtimeFolder), job.user.uid);
    return Enforce(RefuseRuntimeFolder(folder, job.runtimeFolder, job.user));
}

int Run(int argc, char** argv) {
    EndAtOnceOnTermination();
    CommandLine commandLine;
    std::string error;
    if (!ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), commandLine, error)) {
        Report("ERROR", error);
        return kBackendFailed;
    }
    if (commandLine.mode == BackendMode::Discovery) {
        std::fputs(kDiscoveryLine, stdout);
        return kBackendOk;
    }
    Job job;
    job.arguments = commandLine.job;
    std::string uri = ChooseDeviceUri(std::getenv("DEVICE_URI"), argc > 0 ? argv[0] : "");
    if (!ParseDeviceUri(uri, job.device, error)) {
        // Every job of the queue would fail the same way.
        Report("ERROR", error);
        return kBackendStop;
    }
    FileInput input;
    if (int status = TakeOnUser(job, input); status != kBackendOk) return status;

    ParamMap information = BuildJobInformation(job.arguments);
    InformationGuard guard(information);
    if (job.device.forward.IsSet()) {
        return forward::ForwardJob(
            job.device.forward,
            {job.user.name, job.arguments.title, job.arguments.copies, job.device.dataTimeout},
            input, [&](std::u16string& number) {
                int status = AskForNumber(job, information);
                if (status == kBackendOk) number.swap(information[client::kPhoneNumberKey]);
                return status;
            });
    }
    if (job.device.askForNumber) {
        if (int status = AskForNumber(job, information); status != kBackendOk) return status;
    }
    return SendTheJob(job, input, information);
}

}  // namespace
}  // namespace mossvane::cups

int main(int argc, char** argv) {
    return mossvane::cups::Run(argc, argv);
}
