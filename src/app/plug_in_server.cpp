#include "app/plug_in_server.h"

#include "app/command_line.h"
#include "app/instance_lock.h"
#include "pipe/pipe_server.h"
#include "pipe/server_state.h"
#include "platform/debug_output.h"
#include "platform/process_services.h"

namespace mossvane {

namespace {

void RunLocked(std::u16string_view commandLine) {
    InstanceLock lock = AcquireInstanceLock();
    if (HandleCommandLine(lock.bAlreadyRunning ? 1 : 0, commandLine) == 0) {
        ResetServerState();
        PipeServer::Run();
    }
    ReleaseInstanceLock(lock);
}

}  // namespace

int RunPlugInServer(std::u16string_view commandLine) {
    platform::OutputDebugText(u"Start PlugIn Server");
    {
        platform::ProcessServices services;
        RunLocked(commandLine);
    }
    platform::OutputDebugText(u"[PI] End PlugIn Server");
    return 0;
}

}  // namespace mossvane
