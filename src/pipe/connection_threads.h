// The threads that serve connections. Each connection has a thread of its
// own for as long as it lasts; a thread whose client has gone waits a moment
// for the next one instead of ending, so a busy server does not pay for
// starting and ending a thread per client.
#pragma once

#include <system_error>

#include "platform/pipe.h"

namespace mossvane {

// Runs InstanceThread for the connection on a waiting thread, or on a new
// one when none waits. Throws std::system_error when a new thread is needed
// and can't be started; the connection is then closed.
void ServeOnConnectionThread(platform::PipeConnection connection);

}  // namespace mossvane
