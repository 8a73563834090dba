#include "termination.h"

#include <csignal>

namespace mossvane::cups {

void EndAtOnceOnTermination() {
    // An ignored or blocked signal stays so across exec, and schedulers
    // and shells do leave SIGTERM that way for their children.
    std::signal(SIGTERM, SIG_DFL);
    sigset_t termination;
    sigemptyset(&termination);
    sigaddset(&termination, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &termination, nullptr);
}

}  // namespace mossvane::cups
