#include "app/plug_in_server.h"

#include "app/command_line.h"
#include "app/instance_lock.h"
#include "log/debug_print.h"
#include "pipe/pipe_server.h"
#include "pipe/request_answering.h"
#include "pipe/server_state.h"
#include "platform/debug_output.h"
#include "platform/process_privacy.h"
#include "platform/process_services.h"
#include "platform/stop_signals.h"
#include "platform/window.h"
#include "ui/phone_number_dialog.h"

namespace mossvane {

namespace {

// A GETINFO request shows the dialog on its connection thread, owned by the
// window that thread has active (none, in practice). The dialog of a client
// that has gone closes: nobody could take its number.
std::int32_t ShowPhoneNumberDialog(std::u16string& number, const ClientGoneCheck& clientGone) {
    CPhoneNumberDlg2 dialog;
    dialog.CloseWhen(clientGone);
    std::int32_t result = dialog.DoModal(platform::ActiveWindowOfCallingThread());
    // Swapped, not copied: the dialog wipes what it still holds when it goes.
    if (result == 1) number.swap(dialog.m_strNumber);
    return result;
}

// A stop asked for from outside waits for every connection in progress,
// as the listener's own stops do (see pipe/server_stop.h).
void RunServerUntilStopped() {
    platform::StopSignals stopSignals([](int signalNumber) {
        DebugPrint(u"[PI] Stop requested by signal %d\n", signalNumber);
        Server().stopFromOutside = true;
        Server().exitEvent.Set();
    });
    PipeServer::Run();
}

void RunLocked(std::u16string_view commandLine) {
    InstanceLock lock = AcquireInstanceLock();
    if (HandleCommandLine(lock.bAlreadyRunning ? 1 : 0, commandLine) == 0) {
        ResetServerState();
        SetNumberPrompt(ShowPhoneNumberDialog);
        RunServerUntilStopped();
    }
    ReleaseInstanceLock(lock);
}

}  // namespace

int RunPlugInServer(std::u16string_view commandLine) {
    platform::OutputDebugText(u"Start PlugIn Server");
    // The server holds the identification number in its memory; no other
    // process of the user may read it there, nor a core file keep it.
    if (!platform::KeepMemoryPrivate()) {
        platform::OutputDebugText(u"[PI] The process's memory could not be kept private");
    }
    {
        platform::ProcessServices services;
        RunLocked(commandLine);
    }
    platform::OutputDebugText(u"[PI] End PlugIn Server");
    return 0;
}

}  // namespace mossvane
