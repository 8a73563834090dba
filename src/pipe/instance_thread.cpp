#include "pipe/instance_thread.h"

#include <exception>
#include <mutex>

#include "pipe/exit_check.h"
#include "pipe/message_loop.h"
#include "pipe/server_state.h"
#include "platform/debug_output.h"

namespace mossvane {

namespace {

void EndConnection(platform::PipeConnection& pipe) {
    pipe.FlushAndDisconnect();
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
    try {
        RunMessageLoop(pipe);
    } catch (const std::exception& error) {
        // Nothing may escape a thread: the connection simply ends.
        platform::OutputDebugText(u"[PI]InstanceThread: unexpected failure, connection ends.");
    }
    EndConnection(pipe);
    return 1;
}

}  // namespace mossvane
