// Opening the user's pipe as a client, with the patience of the command
// verbs: try again while no instance exists yet (a server that is just
// starting) and wait while every instance is busy, but only for one busy
// wait in a row. Shared by the verbs, the command-line tools and the client
// library.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/error.h"
#include "platform/pipe.h"

namespace mossvane::client {

struct ConnectPatience {
    // How long, in total, to keep retrying while no instance exists.
    std::uint32_t retryBudgetMilliseconds = 20000;
    std::uint32_t retryStepMilliseconds = 100;
    // How long the pipe may stay busy before the client gives up. Busy waits
    // don't use up the retry budget; the time counts from the first busy
    // answer until an open fails for another reason.
    std::uint32_t busyWaitMilliseconds = 20000;
    // Whether every failed open is tried again, as the command verbs do; by
    // default only "no server yet" is, and a failure that waiting does not
    // mend (access denied, a name too long) ends the connecting at once.
    bool retryEveryFailure = false;
};

enum class ConnectResult {
    Connected,
    NoInstance,       // the retry budget ran out
    StayedBusy,       // the busy wait ended without a free instance
    UntrustedServer,  // the pipe's server is not this user's: nothing may go to it
    Failed,           // an open failed in a way that waiting does not mend
};

// lastError holds the code of the last failed open (or wait, for StayedBusy).
ConnectResult ConnectWithRetries(std::u16string_view pipeName, const ConnectPatience& patience,
                                 platform::PipeConnection& connection,
                                 platform::ErrorCode& lastError);

// Patience bounded by one time limit (platform::kWaitForever: the verbs'
// own), for callers that give a timeout for the whole call.
ConnectPatience PatienceWithin(std::uint32_t timeoutMilliseconds);

}  // namespace mossvane::client
