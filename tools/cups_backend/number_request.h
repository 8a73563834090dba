// Asking the user's server for the identification number before a job
// (device URI option pin=ask) on the backend's own connection, whose reads
// wait at most until a deadline. The answer is read with the client's
// ReadNumberAnswer.
#pragma once

#include <string>

#include "deadline.h"
#include "server_connection.h"

namespace mossvane::cups {

// Sends GETINFO on the connection and reads the answer, a UTF-16 text that
// ends with its terminator and may come over several reads, all by the
// deadline (the person at the dialog sets the pace). Failed also for an
// answer longer than a pipe buffer. The buffer that held the answer is
// wiped before it is freed.
IoResult RequestNumber(ServerConnection& connection, const Deadline& deadline,
                       std::u16string& answer);

}  // namespace mossvane::cups
