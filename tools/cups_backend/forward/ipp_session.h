// The connection to the printer a job goes on to, through the client
// library. For ipps the printer's certificate is checked against the pin
// right after the handshake and again before the body of every request: the
// library reconnects on its own within a request, and a new connection may
// meet another certificate, so only a check after the request line and
// before the body keeps every attribute and every byte of data on the
// pinned printer. Every wait is bounded by the data time-out, and the
// library never prompts for a password.
#pragma once

#include <cups/cups.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "client/job_stream.h"
#include "forward_options.h"

namespace mossvane::cups::forward {

struct IppDeleter {
    void operator()(ipp_t* message) const { ippDelete(message); }
};
using IppMessage = std::unique_ptr<ipp_t, IppDeleter>;

enum class SessionResult {
    Done,                  // Connected; or the response is there and its status tells the rest.
    Unreachable,           // No connection, a broken one, or no answer in time.
    WrongCertificate,      // The printer showed a certificate other than the pinned one.
    AuthenticationWanted,  // The printer wants a user name and password.
    Refused,               // Refused at the HTTP level: no such printer, request too large.
    InputFailed,           // The print data could not be read.
};

class IppSession {
  public:
    IppSession(const ForwardOptions& options, std::chrono::seconds timeout);
    ~IppSession();
    IppSession(const IppSession&) = delete;
    IppSession& operator=(const IppSession&) = delete;

    SessionResult Connect();
    void Close();

    // A request of the operation with printer-uri and requesting-user-name.
    IppMessage NewRequest(ipp_op_t operation, const std::string& userName) const;

    // Sends the request, then (when given) the whole input as its document,
    // a piece at a time, and reads the response into response.
    SessionResult Send(ipp_t* request, IppMessage& response,
                       client::InputSource* document = nullptr);

    // Print data bytes the last Send took from its input.
    std::uint64_t DocumentBytes() const { return m_documentBytes; }

    // Why the last step failed, for a message.
    const std::string& Problem() const { return m_problem; }

  private:
    SessionResult CheckCertificate();
    SessionResult Post(ipp_t* request, std::size_t length);
    SessionResult StreamDocument(client::InputSource& document);
    SessionResult Fail(SessionResult result, std::string problem);
    std::string BrokenConnection() const;

    const ForwardOptions& m_options;
    std::chrono::seconds m_timeout;
    http_t* m_http = nullptr;
    std::uint64_t m_documentBytes = 0;
    std::string m_problem;
};

}  // namespace mossvane::cups::forward
