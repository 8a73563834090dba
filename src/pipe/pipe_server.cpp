#include "pipe/pipe_server.h"

#include <mutex>
#include <string>
#include <system_error>

#include "log/debug_print.h"
#include "pipe/connection_threads.h"
#include "pipe/server_state.h"
#include "pipe/server_stop.h"
#include "platform/debug_output.h"
#include "platform/pipe.h"
#include "wire/pipe_name.h"

namespace mossvane {

namespace {

void ReportThreadFailure(const std::system_error& error) {
    std::string line = "CreateThread failed, GLE=" + std::to_string(error.code().value()) + ".\n";
    platform::WriteStandardOutput(line);
}

// Hands the client to a thread of its own; false when no thread could start.
bool StartConnectionThread(platform::PipeConnection connection) {
    ServerState& state = Server();
    platform::OutputDebugText(u"[PI]Plus Call Count");
    {
        std::lock_guard<std::mutex> guard(state.lock);
        ++state.CallCount;
    }
    try {
        ServeOnConnectionThread(std::move(connection));
        return true;
    } catch (const std::system_error& error) {
        ReportThreadFailure(error);
        std::lock_guard<std::mutex> guard(state.lock);
        --state.CallCount;
        return false;
    }
}

// Takes clients until the exit event is set or the pipe fails. The listener
// goes when this returns: from then on no client is taken, and one still in
// an inherited socket's queue waits there for the next start.
void Listen() {
    ServerState& state = Server();
    platform::PipeListener listener(UserPipeName());
    for (;;) {
        platform::ErrorCode error = listener.CreateInstance();
        if (error != platform::kSuccess) {
            DebugPrint(u"[PI]CreateNamedPipe failed, GLE=%d.\n", error);
            return;
        }
        platform::PipeConnection connection;
        platform::ListenResult result = listener.WaitForClient(state.exitEvent, connection, error);
        if (result == platform::ListenResult::ExitRequested) {
            platform::OutputDebugText(
                u"[PI] Exit Pipe Thread1 End ( No More), Printer spool option check, and reset");
            listener.ClosePendingInstance();
            return;
        }
        if (result == platform::ListenResult::Failed) {
            DebugPrint(u"[PI] Waiting for a client failed, GLE=%d.\n", error);
            return;
        }
        if (!StartConnectionThread(std::move(connection))) return;
    }
}

}  // namespace

void PipeServer::Run() {
    Listen();
    FinishServerStop();
}

}  // namespace mossvane
