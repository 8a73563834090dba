// mossvane: the CUPS backend that hands print jobs to the job user's own
// server. CUPS runs it as root (the file has mode 0700) with the job's
// command line; it becomes the job user, connects to that user's socket in
// the user's runtime folder (which starts the server on demand) and sends
// the job. Progress and errors go to CUPS as "INFO:" and "ERROR:" lines on
// standard error; the identification number never does.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "backend_arguments.h"
#include "backend_status.h"
#include "client/client_io.h"
#include "client/connect.h"
#include "client/get_info.h"
#include "client/job_stream.h"
#include "file_input.h"
#include "platform/pipe.h"
#include "platform/utf8.h"
#include "platform/wipe.h"
#include "system_user.h"
#include "wire/pipe_name.h"

namespace mossvane::cups {
namespace {

using client::NumberAnswer;
using client::StreamReport;
using client::StreamResult;

// A socket-activated server takes the connection at once; a server that is
// being started by hand gets a moment before the job is put back for later,
// and so does one whose socket stays busy.
constexpr client::ConnectPatience kConnectPatience{3000, 100, 3000};

// One line for CUPS; a line break inside would start a line CUPS reads
// as a message of its own.
void Report(const char* level, std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    std::fprintf(stderr, "%s: %s\n", level, text.c_str());
    std::fflush(stderr);
}

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
    std::string socketPath;
};

bool Connect(const Job& job, platform::PipeConnection& connection) {
    platform::ErrorCode error = platform::kSuccess;
    if (client::ConnectWithRetries(UserPipeName(), kConnectPatience, connection, error) ==
        client::ConnectResult::Connected) {
        return true;
    }
    Report("ERROR", "The Mossvane server of " + job.user.name + " can't be reached at " +
                        job.socketPath + "; the job will be tried again later.");
    return false;
}

// pin=ask: the user's own server asks for the number on the user's display.
int AskForNumber(const Job& job, ParamMap& information) {
    Report("INFO", "Asking " + job.user.name + " for the identification number");
    platform::PipeConnection connection;
    if (!Connect(job, connection)) return kBackendRetry;
    std::u16string answer;
    platform::ErrorCode error = client::RequestNumber(connection, answer);
    connection.Close();
    if (error != platform::kSuccess) {
        platform::WipeText(answer);
        Report("ERROR", "The Mossvane server ended the connection before it answered (error " +
                            std::to_string(error) + ").");
        return kBackendFailed;
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

int SendTheJob(const Job& job, client::InputSource& input, const ParamMap& information) {
    platform::PipeConnection connection;
    if (!Connect(job, connection)) return kBackendRetry;
    Report("INFO", "Sending job " + std::to_string(job.arguments.jobId) +
                       " to the Mossvane server of " + job.user.name);
    client::ConnectionSink sink(connection);
    StreamReport report = client::StreamJob(input, sink, job.arguments.jobId, information);
    switch (report.result) {
        case StreamResult::ReadFailed:
            Report("ERROR", "Reading the print data failed; the job was not completed.");
            return kBackendFailed;
        case StreamResult::SendFailed:
            Report("ERROR",
                   "The Mossvane server refused the job or ended the connection early (its "
                   "debug output says why).");
            return kBackendFailed;
        case StreamResult::Sent:
            break;
    }
    switch (client::WaitForServerEnd(connection)) {
        case client::ServerEnd::Closed:
            break;
        case client::ServerEnd::Answered:
            Report("ERROR", "The Mossvane server answered a job message, which it never does.");
            return kBackendFailed;
        default:
            // Only an orderly end says that the server stored the job.
            Report("ERROR",
                   "The connection to the Mossvane server broke before it took the whole job; "
                   "the job will be tried again later.");
            return kBackendRetry;
    }
    Report("INFO", "Job sent: " + std::to_string(report.dataBytes) + " bytes" +
                       (report.markerAdded ? ", end-of-job marker added" : ""));
    return kBackendOk;
}

// Decides whom the job is for and becomes that user. The input is opened
// first: CUPS's spool file can be read by root only.
int TakeOnUser(Job& job, FileInput& input) {
    SystemUserDirectory directory;
    Access access = DecideAccess(job.arguments.user, CurrentCaller(), directory, job.user);
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
    std::string error;
    if (!input.Open(job.arguments.file, error)) {
        Report("ERROR", error);
        return kBackendFailed;
    }
    if (access == Access::BecomeUser && !BecomeUser(job.user, error)) {
        Report("ERROR", "Can't take on the identity of " + job.user.name + ": " + error);
        return kBackendFailed;
    }
    Report("DEBUG", "Acting for " + job.user.name + " as " + DescribeIdentity());
    std::string runtimeRoot = RuntimeRoot(std::getenv(kRuntimeRootVariable));
    job.socketPath = UserSocketPath(runtimeRoot, job.user.uid, job.user.name);
    if (!UseRuntimeFolder(UserRuntimeFolder(runtimeRoot, job.user.uid), error)) {
        Report("ERROR", error);
        return kBackendFailed;
    }
    return kBackendOk;
}

int Run(int argc, char** argv) {
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
        Report("ERROR", error);
        return kBackendFailed;
    }
    FileInput input;
    if (int status = TakeOnUser(job, input); status != kBackendOk) return status;

    ParamMap information = BuildJobInformation(job.arguments);
    InformationGuard guard(information);
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
