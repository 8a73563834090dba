// There are no per-thread windows here.
#include "platform/window.h"

namespace mossvane::platform {

WindowHandle ActiveWindowOfCallingThread() {
    return nullptr;
}

}  // namespace mossvane::platform
