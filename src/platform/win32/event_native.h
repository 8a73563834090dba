// What an Event is on Windows: a manual-reset kernel event.
#pragma once

#include "platform/event.h"
#include "platform/win32/unique_handle.h"

namespace mossvane::platform {

struct Event::Native {
    win32::UniqueHandle handle;
};

}  // namespace mossvane::platform
