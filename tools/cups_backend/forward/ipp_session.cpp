#include "ipp_session.h"

#include <strings.h>

#include <cerrno>
#include <csignal>
#include <vector>

namespace mossvane::cups::forward {

namespace {

// Print data goes out in pieces of up to this size, straight from CUPS's
// input: each piece is one HTTP chunk, so larger pieces mean less framing for
// the printer to take apart (a tenth of the time at 64 KiB); a job of any
// size still takes the same memory.
constexpr std::size_t kDocumentPiece = 1024 * 1024;

// A wait that runs out fails at once rather than waiting once more.
int GiveUp(http_t*, void*) {
    return 0;
}

// Nobody can answer a prompt in a backend; a printer that wants a password
// gets none.
const char* NoPassword(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

std::string Describe(const ForwardOptions& options) {
    return options.host + ":" + std::to_string(options.port);
}

}  // namespace

IppSession::IppSession(const ForwardOptions& options, std::chrono::seconds timeout)
    : m_options(options), m_timeout(timeout) {
    // The library writes to its sockets without MSG_NOSIGNAL: a printer that
    // drops the connection must end a request, not the backend.
    std::signal(SIGPIPE, SIG_IGN);
    cupsSetPasswordCB2(NoPassword, nullptr);
}

IppSession::~IppSession() {
    Close();
}

void IppSession::Close() {
    if (m_http != nullptr) httpClose(m_http);
    m_http = nullptr;
}

SessionResult IppSession::Fail(SessionResult result, std::string problem) {
    m_problem = std::move(problem);
    Close();
    return result;
}

SessionResult IppSession::Connect() {
    Close();
    int milliseconds = static_cast<int>(m_timeout.count() * 1000);
    m_http = httpConnect2(m_options.host.c_str(), m_options.port, nullptr, AF_UNSPEC,
                          m_options.encrypted ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_NEVER, 1,
                          milliseconds, nullptr);
    if (m_http == nullptr) {
        return Fail(SessionResult::Unreachable,
                    "can't connect to " + Describe(m_options) + " (" + cupsLastErrorString() + ")");
    }
    httpSetTimeout(m_http, static_cast<double>(m_timeout.count()), GiveUp, nullptr);
    return CheckCertificate();
}

SessionResult IppSession::CheckCertificate() {
    if (!m_options.encrypted) return SessionResult::Done;
    cups_array_t* chain = nullptr;
    Fingerprint shown{};
    bool hashed = false;
    if (httpIsEncrypted(m_http) && httpCopyCredentials(m_http, &chain) == 0) {
        auto* leaf = static_cast<http_credential_t*>(cupsArrayFirst(chain));
        hashed = leaf != nullptr &&
                 cupsHashData("sha2-256", leaf->data, leaf->datalen, shown.data(), shown.size()) ==
                     static_cast<ssize_t>(shown.size());
    }
    httpFreeCredentials(chain);
    if (hashed && shown == *m_options.certificate) return SessionResult::Done;
    return Fail(SessionResult::WrongCertificate,
                "the printer at " + Describe(m_options) + " showed the certificate " +
                    (hashed ? FingerprintText(shown) : std::string("<none>")) +
                    ", not the one forward-cert names");
}

IppMessage IppSession::NewRequest(ipp_op_t operation, const std::string& userName) const {
    IppMessage request(ippNewRequest(operation));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 m_options.printerUri.c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 userName.c_str());
    return request;
}

// The request line and header may reach whoever answers (the library may
// have reconnected); the body goes out only once the certificate is checked.
SessionResult IppSession::Post(ipp_t* request, std::size_t length) {
    if (m_http != nullptr && httpGetState(m_http) != HTTP_STATE_WAITING) httpFlush(m_http);
    bool closing = m_http != nullptr &&
                   (strcasecmp(httpGetField(m_http, HTTP_FIELD_CONNECTION), "close") == 0 ||
                    httpWait(m_http, 0) != 0);
    if (m_http == nullptr || closing) {
        if (SessionResult connected = Connect(); connected != SessionResult::Done) return connected;
    }
    httpClearFields(m_http);
    httpSetField(m_http, HTTP_FIELD_CONTENT_TYPE, "application/ipp");
    httpSetLength(m_http, length);
    if (httpPost(m_http, m_options.resource.c_str()) != 0) {
        return Fail(SessionResult::Unreachable, BrokenConnection());
    }
    if (SessionResult checked = CheckCertificate(); checked != SessionResult::Done) return checked;
    ippSetState(request, IPP_STATE_IDLE);
    for (ipp_state_t state = IPP_STATE_IDLE; state != IPP_STATE_DATA;) {
        state = ippWrite(m_http, request);
        if (state == IPP_STATE_ERROR) {
            return Fail(SessionResult::Unreachable,
                        "the request could not be sent to " + Describe(m_options));
        }
    }
    return SessionResult::Done;
}

SessionResult IppSession::StreamDocument(client::InputSource& document) {
    std::vector<std::uint8_t> piece(kDocumentPiece);
    for (;;) {
        std::size_t got = 0;
        client::ReadStatus read = document.Read(piece.data(), piece.size(), got);
        if (read == client::ReadStatus::End) return SessionResult::Done;
        if (read == client::ReadStatus::Failed) {
            return Fail(SessionResult::InputFailed, "reading the print data failed");
        }
        http_status_t status =
            cupsWriteRequestData(m_http, reinterpret_cast<const char*>(piece.data()), got);
        if (status == HTTP_STATUS_ERROR)
            return Fail(SessionResult::Unreachable, BrokenConnection());
        // An early answer (the printer refusing the document) is read below.
        if (status != HTTP_STATUS_CONTINUE) return SessionResult::Done;
        m_documentBytes += got;
    }
}

std::string IppSession::BrokenConnection() const {
    if (httpError(m_http) == ETIMEDOUT) {
        return "the printer at " + Describe(m_options) + " took nothing for " +
               std::to_string(m_timeout.count()) + " seconds (data-timeout)";
    }
    return "the connection to " + Describe(m_options) + " broke";
}

SessionResult IppSession::Send(ipp_t* request, IppMessage& response,
                               client::InputSource* document) {
    response.reset();
    m_documentBytes = 0;
    std::size_t length = document != nullptr ? 0 : ippLength(request);  // 0: chunked
    if (SessionResult posted = Post(request, length); posted != SessionResult::Done) return posted;
    if (document != nullptr) {
        if (SessionResult streamed = StreamDocument(*document); streamed != SessionResult::Done) {
            return streamed;
        }
    }
    response.reset(cupsGetResponse(m_http, m_options.resource.c_str()));
    if (response) return SessionResult::Done;
    http_status_t status = httpGetStatus(m_http);
    std::string problem = httpError(m_http) != 0 ? BrokenConnection() : cupsLastErrorString();
    if (status == HTTP_STATUS_UNAUTHORIZED || status == HTTP_STATUS_FORBIDDEN ||
        status == HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED) {
        return Fail(SessionResult::AuthenticationWanted, problem);
    }
    if (status >= HTTP_STATUS_BAD_REQUEST && status < HTTP_STATUS_SERVER_ERROR) {
        return Fail(SessionResult::Refused, problem);
    }
    return Fail(SessionResult::Unreachable, problem);
}

}  // namespace mossvane::cups::forward
