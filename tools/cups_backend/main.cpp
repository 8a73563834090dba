// mossvane: the CUPS backend that hands print jobs to the job user's own
// server. CUPS runs it as root (the file has mode 0700) with the job's
// command line; it serves only a user CUPS authenticated on this machine,
// never root or a system account. It then splits in two: a child becomes
// that user, checks the user's runtime folder, connects to the user's
// socket there (which starts the server on demand), checks that the server
// runs as the user and sends the job, never waiting on the server without a
// bound; the parent stays root and ends the child when the job's deadline
// passes. Progress and errors go to CUPS as "INFO:" and "ERROR:" lines on
// standard error; the identification number never does.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "account_rules.h"
#include "backend_arguments.h"
#include "backend_report.h"
#include "backend_status.h"
#include "client/get_info.h"
#include "file_input.h"
#include "forward/forward_job.h"
#include "job_delivery.h"
#include "job_owner.h"
#include "job_watch.h"
#include "platform/wipe.h"
#include "refusals.h"
#include "runtime_folder.h"
#include "system_user.h"
#include "termination.h"

namespace mossvane::cups {
namespace {

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

std::string QueueName() {
    const char* printer = std::getenv("PRINTER");
    return printer != nullptr && printer[0] != '\0' ? printer : "<queue>";
}

CupsAuthentication AuthenticationFromEnvironment() {
    CupsAuthentication authentication;
    authentication.uid = std::getenv(kAuthUidVariable);
    for (const char* variable : kOtherAuthVariables) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') authentication.byOtherMeans = true;
    }
    return authentication;
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
        CheckJobOwner(job.user.uid, AuthenticationFromEnvironment(), job.arguments.options);
    return Enforce(RefuseUnprovenOwner(job.user, proof, QueueName()));
}

// What is decided with root's rights, before anything of the user's is
// touched. The input is opened here: CUPS's spool file can be read by root
// only.
int PrepareJob(Job& job, FileInput& input, Access& access) {
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
    return kBackendOk;
}

// In the child: becomes the job user for good and checks the runtime folder.
int TakeOnUser(const Job& job, Access access) {
    std::string error;
    if (access == Access::BecomeUser && !BecomeUser(job.user, error)) {
        Report("ERROR", "Can't take on the identity of " + job.user.name + ": " + error);
        return kBackendFailed;
    }
    EndWithWatcher();
    Report("DEBUG", "Acting for " + job.user.name + " as " + DescribeIdentity());
    FolderVerdict folder = JudgeRuntimeFolder(InspectFolder(job.runtimeFolder), job.user.uid);
    if (int status = Enforce(RefuseRuntimeFolder(folder, job.runtimeFolder, job.user));
        status != kBackendOk) {
        return status;
    }
    // The user's runtime folder, as a session of theirs has it: every client
    // finds the user's socket there and checks it the same way.
    return setenv("XDG_RUNTIME_DIR", job.runtimeFolder.c_str(), 1) == 0 ? kBackendOk
                                                                        : kBackendFailed;
}

// In the child: the job, as its user.
int ServeAsUser(const Job& job, FileInput& input, Access access) {
    if (int status = TakeOnUser(job, access); status != kBackendOk) return status;
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
    OptionsFit fit = FitOptionsIntoInformation(information);
    if (fit.fits && fit.dropped > 0) {
        Report("INFO",
               "The job's options were shortened to fit the Mossvane server's job "
               "information: the last " +
                   std::to_string(fit.dropped) + " of " + std::to_string(fit.total) +
                   " were left out.");
    }
    return SendTheJob(job, input, information);
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
    Access access = Access::OtherUser;
    if (int status = PrepareJob(job, input, access); status != kBackendOk) return status;

    WatchedEnd end =
        RunWatched([&] { return ServeAsUser(job, input, access); }, job.device.jobTimeout);
    WatchVerdict verdict = JudgeWatchedEnd(end, job.device.jobTimeout, job.arguments.jobId);
    if (!verdict.message.empty()) Report("ERROR", verdict.message);
    return verdict.status;
}

}  // namespace
}  // namespace mossvane::cups

int main(int argc, char** argv) {
    return mossvane::cups::Run(argc, argv);
}
