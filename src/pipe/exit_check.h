// The check that stops an idle server: ten one-second passes in a row with
// no connection and no job being prepared by the spooler set the exit event.
#pragma once

#include <chrono>

namespace mossvane {

// Called whenever a connection ends and after each dialog. At most one check
// runs at a time: a call while one runs restarts it from its first pass, so
// a busy server never piles up sleeping check threads.
void ConfirmServerTerminate();

// Once the server is stopping: ends the check that runs, if any, with its end
// line, waiting for that at most `timeout`; no check starts afterwards.
void EndExitChecks(std::chrono::milliseconds timeout);

}  // namespace mossvane
