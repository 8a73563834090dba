// Windows: the calling thread's active window.
#include "platform/window.h"

#include "platform/win32/windows_include.h"

namespace mossvane::platform {

WindowHandle ActiveWindowOfCallingThread() {
    return GetActiveWindow();
}

}  // namespace mossvane::platform
