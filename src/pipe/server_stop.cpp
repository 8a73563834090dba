#include "pipe/server_stop.h"

#include <thread>

#include "log/debug_print.h"
#include "pipe/exit_check.h"
#include "pipe/server_state.h"
#include "pipe/whole_file_writes.h"
#include "platform/debug_output.h"

namespace mossvane {

namespace {

constexpr auto kStopPollInterval = std::chrono::milliseconds(50);
// An exit check notices the stop at once; this only bounds a check that is
// stuck reading the registry.
constexpr auto kExitCheckEndTimeout = std::chrono::seconds(2);

void WaitForConnectionsToFinish() {
    const auto deadline = std::chrono::steady_clock::now() + kStopGracePeriod;
    while (ConnectionsToFinish() > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kStopPollInterval);
    }
    if (std::int32_t left = ConnectionsToFinish(); left > 0) {
        DebugPrint(u"[PI] Stopping with %d connections still open", left);
    }
}

}  // namespace

std::int32_t ConnectionsToFinish() {
    const ServerState& state = Server();
    std::int32_t count = state.CallCount.load();
    if (state.exitRequested && !state.stopFromOutside) count -= state.requestConnections.load();
    return count;
}

void FinishServerStop() {
    WaitForConnectionsToFinish();
    EndExitChecks(kExitCheckEndTimeout);
    // The grace period once more bounds a write stuck on a failing disk.
    if (!WholeFileWrites().Hold(kStopGracePeriod)) {
        platform::OutputDebugText(u"[PI] Stopping while an information file is being written");
    }
}

}  // namespace mossvane
