// Opening the user's pipe as a client: tries again while no instance exists
// yet (a server that is just starting) and waits while every instance is
// busy. Shared by the command verbs and the command-line tools.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/error.h"
#include "platform/pipe.h"

namespace mossvane {

struct ConnectPatience {
    // How long, in total, to keep retrying while no instance exists.
    std::uint32_t retryBudgetMilliseconds = 20000;
    std::uint32_t retryStepMilliseconds = 100;
    // How long to wait for a free instance each time the pipe is busy. Busy
    // waits don't use up the retry budget.
    std::uint32_t busyWaitMilliseconds = 20000;
};

enum class ConnectResult {
    Connected,
    NoInstance,       // the retry budget ran out
    StayedBusy,       // a busy wait ended without a free instance
    UntrustedServer,  // the pipe's server is not this user's: nothing may go to it
};

// lastError holds the code of the last failed open (or wait, for StayedBusy).
ConnectResult ConnectWithRetries(std::u16string_view pipeName, const ConnectPatience& patience,
                                 platform::PipeConnection& connection,
                                 platform::ErrorCode& lastError);

}  // namespace mossvane
