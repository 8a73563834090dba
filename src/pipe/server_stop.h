// How the server ends once its listener has stopped taking clients. Nothing
// it accepted is dropped: the connections in progress may finish for a
// while, no file write is cut in half, and every exit check writes its end.
#pragma once

#include <chrono>
#include <cstdint>

namespace mossvane {

// How long a stop lets the connections in progress finish before the
// process ends regardless; a job still open then stays as a broken
// connection leaves it.
inline constexpr auto kStopGracePeriod = std::chrono::seconds(10);

// The connections that the stop waits for: every connection still counted,
// except, after an EXIT request, those that carry requests rather than a
// print job (a dialog, a request waiting for its turn), which EXIT ends with
// the process. The EXIT itself is waited for until its answer has reached
// its client. A connection that has sent nothing yet may be a job and is
// waited for. A stop asked for from outside, or by the exit check, waits for
// all.
std::int32_t ConnectionsToFinish();

// Runs after the listener has stopped, on its thread; returns when the
// process may end.
void FinishServerStop();

}  // namespace mossvane
