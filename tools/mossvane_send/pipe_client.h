// Talking to the user's server from a command-line tool.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/pipe.h"

namespace mossvane::send {

// Connects to the current user's pipe, waiting while it is busy and giving a
// server that is just starting a moment. kFileNotFound when none runs,
// kUntrustedServer when the pipe's server is not this user's.
platform::ErrorCode ConnectToServer(platform::PipeConnection& connection,
                                    std::chrono::milliseconds patience);

// Writes all bytes; kSuccess only when every byte went out.
platform::ErrorCode WriteAll(platform::PipeConnection& connection,
                             const std::vector<std::uint8_t>& bytes);

// Sends one request message and reads its answer, a UTF-16 text ending with
// its terminator (the answer to a request comes in one piece, at most 4104
// bytes, but may arrive over several reads).
platform::ErrorCode ExchangeRequest(platform::PipeConnection& connection,
                                    std::u16string_view request, std::u16string& answer);

// Waits until the server closes the connection; true when it did so without
// sending anything.
bool WaitForServerToClose(platform::PipeConnection& connection);

}  // namespace mossvane::send
