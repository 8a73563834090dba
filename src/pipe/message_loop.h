// What a connection does with the bytes its client sends.
#pragma once

#include "platform/pipe.h"

namespace mossvane {

// Reads and serves messages until the connection is to end.
void RunMessageLoop(platform::PipeConnection& pipe);

}  // namespace mossvane
