#include "forward_job.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "backend_report.h"
#include "backend_status.h"
#include "ipp_session.h"
#include "job_password.h"
#include "platform/wipe.h"
#include "printer_capabilities.h"

namespace mossvane::cups::forward {

namespace {

// Create-Job's request holds the number's bytes: they are wiped before the
// library frees the request.
struct SecretRequestDeleter {
    void operator()(ipp_t* request) const {
        int size = 0;
        ipp_attribute_t* password = ippFindAttribute(request, "job-password", IPP_TAG_STRING);
        if (void* bytes = ippGetOctetString(password, 0, &size)) {
            platform::WipeBytes(bytes, static_cast<std::size_t>(size));
        }
        ippDelete(request);
    }
};
using SecretRequest = std::unique_ptr<ipp_t, SecretRequestDeleter>;

class WipedNumber {
  public:
    ~WipedNumber() { platform::WipeText(text); }
    std::u16string text;
};

// HTTP servers commonly keep an idle connection for 5 seconds or more.
constexpr std::chrono::seconds kLongestKeptIdle{5};

bool Succeeded(ipp_t* response) {
    return ippGetStatusCode(response) < IPP_STATUS_REDIRECTION_OTHER_SITE;
}

// What becomes of the job when the printer refuses a step: what is set up
// wrongly stops the queue, what may pass later is tried again, and what is
// wrong with this job alone cancels it.
int StatusForRefusal(ipp_status_t status) {
    switch (status) {
        case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
        case IPP_STATUS_ERROR_NOT_AUTHORIZED:
        case IPP_STATUS_ERROR_FORBIDDEN:
        case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED:
        case IPP_STATUS_ERROR_NOT_FOUND:
        case IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED:
        case IPP_STATUS_ERROR_VERSION_NOT_SUPPORTED:
            return kBackendStop;
        case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
        case IPP_STATUS_ERROR_TIMEOUT:
            return kBackendRetry;
        default:
            return status >= IPP_STATUS_ERROR_INTERNAL ? kBackendRetry : kBackendCancel;
    }
}

const char* Consequence(int status) {
    switch (status) {
        case kBackendRetry:
            return "the job will be tried again later";
        case kBackendStop:
            return "the queue stops";
        default:
            return "the job is cancelled";
    }
}

// A printer that ignores job-password would print at once: it must name
// neither job-password nor its encryption among what it ignored, and must
// say what it ignored at all.
bool PasswordIgnored(ipp_t* response) {
    if (ippGetStatusCode(response) != IPP_STATUS_OK_IGNORED_OR_SUBSTITUTED) return false;
    bool anyNamed = false;
    for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        if (ippGetGroupTag(a) != IPP_TAG_UNSUPPORTED_GROUP || ippGetName(a) == nullptr) continue;
        anyNamed = true;
        if (std::strncmp(ippGetName(a), "job-password", std::strlen("job-password")) == 0) {
            return true;
        }
    }
    return !anyNamed;
}

class Forwarder {
  public:
    Forwarder(const ForwardOptions& options, const ForwardJobFacts& job)
        : m_options(options), m_job(job), m_session(options, job.dataTimeout) {}

    int LearnPrinter();
    int CreateJob(const NumberQuestion& askForNumber);
    int SendDocument(client::InputSource& input);
    void ReportHold();

  private:
    int Failed(SessionResult result, const char* step);
    int Refused(ipp_t* response, const char* step);
    SecretRequest NewCreateJob(const JobPassword& password) const;
    IppMessage NewJobRequest(ipp_op_t operation) const;
    void CancelJob();

    const ForwardOptions& m_options;
    const ForwardJobFacts& m_job;
    IppSession m_session;
    PrinterFacts m_facts;
    std::string m_encryption;
    int m_jobId = 0;
};

int Forwarder::Failed(SessionResult result, const char* step) {
    const std::string& problem = m_session.Problem();
    switch (result) {
        case SessionResult::Unreachable:
            Report("ERROR",
                   std::string(step) + ": " + problem + "; the job will be tried again later.");
            return kBackendRetry;
        case SessionResult::WrongCertificate:
            Report("ERROR", "Nothing was sent: " + problem +
                                ". Check the printer and the queue's forward-cert.");
            return kBackendStop;
        case SessionResult::AuthenticationWanted:
            Report("ERROR", "The printer wants a user name and password (" + problem +
                                "), which the backend never gives; the queue stops.");
            return kBackendStop;
        case SessionResult::Refused:
            Report("ERROR", "The printer refused " + std::string(step) + " (" + problem +
                                "); check the queue's forward=; the queue stops.");
            return kBackendStop;
        case SessionResult::InputFailed:
            Report("ERROR", "Reading the print data failed; the job was not completed.");
            return kBackendFailed;
        case SessionResult::Done:
            break;
    }
    return kBackendOk;
}

int Forwarder::Refused(ipp_t* response, const char* step) {
    ipp_status_t code = ippGetStatusCode(response);
    ipp_attribute_t* message = ippFindAttribute(response, "status-message", IPP_TAG_TEXT);
    const char* text = message != nullptr ? ippGetString(message, 0, nullptr) : nullptr;
    int status = StatusForRefusal(code);
    Report("ERROR", "The printer refused " + std::string(step) + ": " + ippErrorString(code) +
                        (text != nullptr ? std::string(" (") + text + ")" : "") + "; " +
                        Consequence(status) + ".");
    return status;
}

int Forwarder::LearnPrinter() {
    Report("INFO",
           "Asking the printer at " + m_options.printerUri + " whether it can hold the job");
    if (SessionResult r = m_session.Connect(); r != SessionResult::Done) {
        return Failed(r, "Connecting");
    }
    IppMessage request = m_session.NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, m_job.userName);
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(kPrinterAttributes)), nullptr, kPrinterAttributes);
    IppMessage response;
    if (SessionResult r = m_session.Send(request.get(), response); r != SessionResult::Done) {
        return Failed(r, "Get-Printer-Attributes");
    }
    if (!Succeeded(response.get())) return Refused(response.get(), "Get-Printer-Attributes");
    m_facts = ReadPrinterFacts(response.get());
    Verdict verdict = JudgePrinter(m_facts, m_options, m_encryption);
    if (verdict.status != kBackendOk) Report("ERROR", verdict.message);
    return verdict.status;
}

SecretRequest Forwarder::NewCreateJob(const JobPassword& password) const {
    SecretRequest request(m_session.NewRequest(IPP_OP_CREATE_JOB, m_job.userName).release());
    if (!m_job.title.empty()) {
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                     m_job.title.c_str());
    }
    ippAddOctetString(request.get(), IPP_TAG_OPERATION, "job-password", password.Data(),
                      static_cast<int>(password.Size()));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "job-password-encryption",
                 nullptr, m_encryption.c_str());
    if (m_job.copies > 1) {
        ippAddInteger(request.get(), IPP_TAG_JOB, IPP_TAG_INTEGER, "copies",
                      static_cast<int>(m_job.copies));
    }
    return request;
}

int Forwarder::CreateJob(const NumberQuestion& askForNumber) {
    WipedNumber number;
    const auto asked = std::chrono::steady_clock::now();
    if (int status = askForNumber(number.text); status != kBackendOk) return status;
    // A quick answer finds the connection still open (one closed by the
    // printer is opened anew when the request goes out); after a longer
    // dialog, one that may have died on the way without a word is not trusted.
    if (std::chrono::steady_clock::now() - asked > kLongestKeptIdle) m_session.Close();
    Verdict length = JudgeNumberLength(number.text.size(), m_facts);
    if (length.status != kBackendOk) {
        Report("ERROR", length.message);
        return length.status;
    }
    JobPassword password;
    if (!password.Make(number.text, m_encryption)) {
        Report("ERROR", "The number could not be made into a job-password with " + m_encryption +
                            "; the job is cancelled.");
        return kBackendCancel;
    }
    platform::WipeText(number.text);
    IppMessage response;
    SessionResult sent = m_session.Send(NewCreateJob(password).get(), response);
    if (sent != SessionResult::Done) return Failed(sent, "Create-Job");
    if (!Succeeded(response.get())) return Refused(response.get(), "Create-Job");
    ipp_attribute_t* jobId = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
    m_jobId = jobId != nullptr ? ippGetInteger(jobId, 0) : 0;
    if (PasswordIgnored(response.get())) {
        Report("ERROR",
               "The printer ignored job-password and would print the job without "
               "waiting for the number; no data was sent and the queue stops.");
        CancelJob();
        return kBackendStop;
    }
    if (m_jobId <= 0) {
        Report("ERROR", "The printer made a job but named no job-id; the queue stops.");
        return kBackendStop;
    }
    return kBackendOk;
}

IppMessage Forwarder::NewJobRequest(ipp_op_t operation) const {
    IppMessage request = m_session.NewRequest(operation, m_job.userName);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", m_jobId);
    return request;
}

void Forwarder::CancelJob() {
    if (m_jobId <= 0) return;
    IppMessage response;
    if (m_session.Send(NewJobRequest(IPP_OP_CANCEL_JOB).get(), response) == SessionResult::Done &&
        Succeeded(response.get())) {
        Report("INFO", "Cancelled job " + std::to_string(m_jobId) + " at the printer");
    }
}

int Forwarder::SendDocument(client::InputSource& input) {
    Report("INFO", "Sending job " + std::to_string(m_jobId) + " to the printer");
    IppMessage request = NewJobRequest(IPP_OP_SEND_DOCUMENT);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 m_options.format.c_str());
    ippAddBoolean(request.get(), IPP_TAG_OPERATION, "last-document", 1);
    IppMessage response;
    SessionResult sent = m_session.Send(request.get(), response, &input);
    int status = kBackendOk;
    if (sent != SessionResult::Done) {
        status = Failed(sent, "Send-Document");
    } else if (!Succeeded(response.get())) {
        status = Refused(response.get(), "Send-Document");
    }
    if (status != kBackendOk) {
        CancelJob();
        return status;
    }
    Report("INFO", "Job sent: " + std::to_string(m_session.DocumentBytes()) + " bytes");
    return kBackendOk;
}

void Forwarder::ReportHold() {
    IppMessage request = NewJobRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    static const char* const kJobAttributes[] = {"job-state", "job-state-reasons"};
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2,
                  nullptr, kJobAttributes);
    IppMessage response;
    if (m_session.Send(request.get(), response) != SessionResult::Done ||
        !Succeeded(response.get())) {
        Report("WARNING",
               "Could not learn whether the printer holds job " + std::to_string(m_jobId) + ".");
        return;
    }
    ipp_attribute_t* state = ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM);
    ipp_attribute_t* reasons =
        ippFindAttribute(response.get(), "job-state-reasons", IPP_TAG_KEYWORD);
    int value = ippGetInteger(state, 0);
    if (value == IPP_JSTATE_HELD || ippContainsString(reasons, "job-password-wait")) {
        Report("INFO", "The printer holds job " + std::to_string(m_jobId) + " until " +
                           m_job.userName + " types the number there");
        return;
    }
    Report("WARNING", "The printer did not hold the job (its state is " +
                          std::string(ippEnumString("job-state", value)) +
                          "); it may print without waiting for the number.");
}

}  // namespace

int ForwardJob(const ForwardOptions& options, const ForwardJobFacts& job,
               client::InputSource& input, const NumberQuestion& askForNumber) {
    Forwarder forwarder(options, job);
    if (int status = forwarder.LearnPrinter(); status != kBackendOk) return status;
    if (int status = forwarder.CreateJob(askForNumber); status != kBackendOk) return status;
    if (int status = forwarder.SendDocument(input); status != kBackendOk) return status;
    forwarder.ReportHold();
    return kBackendOk;
}

}  // namespace mossvane::cups::forward
