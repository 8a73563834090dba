// Keeping a process's memory private on Windows: the user's own processes
// may read it whatever the process does, and crash dumps are the system's
// business, so there is nothing to set.
#include "platform/process_privacy.h"

namespace mossvane::platform {

bool KeepMemoryPrivate() {
    return true;
}

}  // namespace mossvane::platform
