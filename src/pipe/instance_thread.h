// The life of one connection: its buffers, its message loop and its end.
#pragma once

#include "platform/pipe.h"

namespace mossvane {

// Serves one connected client until the connection ends, then releases the
// instance, lowers the call count and asks for an exit check. Returns 1.
unsigned InstanceThread(platform::PipeConnection pipe);

}  // namespace mossvane
