// Start on demand: a service manager (systemd) that holds the listening
// socket starts the server on the first connection and hands the socket over.
#pragma once

#include "platform/posix/posix_util.h"

namespace mossvane::platform::posix {

// Takes the one listening Unix stream socket this process was handed, if
// any, and returns whether listenFd now holds it. The socket and its file
// stay the service manager's: queued clients wait in it while no server
// runs, so the server must never remove the file.
bool TakeInheritedListeningSocket(UniqueFd& listenFd);

}  // namespace mossvane::platform::posix
