// What an Event is on POSIX: an eventfd that is readable while the event is
// set, so it can be polled together with sockets.
#pragma once

#include "platform/event.h"
#include "platform/posix/posix_util.h"

namespace mossvane::platform {

struct Event::Native {
    posix::UniqueFd fd;
};

}  // namespace mossvane::platform
