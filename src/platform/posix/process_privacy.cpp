// Keeping a process's memory private on Linux: a process that is not
// dumpable can't be attached to or read through /proc by other processes of
// the user, and the kernel writes no core file of it. An exec resets the
// flag, so every program that holds the number sets it for itself.
#include "platform/process_privacy.h"

#include <sys/prctl.h>

namespace mossvane::platform {

bool KeepMemoryPrivate() {
    return prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
}

}  // namespace mossvane::platform
