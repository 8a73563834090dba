#include "pipe/instance_thread.h"

#include <exception>
#include <mutex>

#include "pipe/exit_check.h"
#include "pipe/message_loop.h"
#include "pipe/server_state.h"
#include "platform/debug_output.h"

namespace mossvane {

namespace {

void EndConnection(platform::PipeConnection& pipe, ConnectionEnd end) {
    if (end == ConnectionEnd::JobNotStored) {
        platform::OutputDebugText(
            u"[PI]InstanceThread: job not stored, connection ends as a failure.");
        pipe.EndAsFailure();
    } else {
        pipe.FlushAndDisconnect();
    }
    platform::OutputDebugText(u"[PI]Minus Call Count");
    ServerState& state = Server();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        --state.CallCount;
    }
    state.turnEvent.Set();
    ConfirmServerTerminate();
    platform::OutputDebugText(u"[PI]InstanceThread exitting..");
}

}  // namespace

unsigned InstanceThread(platform::PipeConnection pipe) {
    ConnectionEnd end = ConnectionEnd::JobNotStored;
    try {
        end = RunMessageLoop(pipe);
    } catch (const std::exception& error) {
        // Nothing may escape a thread: the connection ends, and whatever it
        // carried counts as not done.
        platform::OutputDebugText(u"[PI]InstanceThread: unexpected failure, connection ends.");
    }
    EndConnection(pipe, end);
    return 1;
}

}  // namespace mossvane
