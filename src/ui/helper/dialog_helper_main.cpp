// mossvane-dialog: shows the identification-number dialog (--number) or a
// message box (--message) for the server, which starts it, sends the texts on
// descriptor 3 and reads the end code and the number back from there.
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "helper/display_failure.h"
#include "helper/glyph_coverage.h"
#include "helper/message_window.h"
#include "helper/number_window.h"
#include "platform/process_privacy.h"
#include "platform/wipe.h"
#include "ui/dialog_constants.h"
#include "ui/dialog_texts.h"
#include "ui/posix/dialog_channel.h"

// The program's icon as an XPM array, made by res/make_icon.py.
#include "res/mossvane_icon.xpm"

namespace mossvane::dialog_helper {
namespace {

constexpr std::size_t kMessageRecordCount = 2;
constexpr int kDisplayAttempts = 10;
constexpr gulong kDisplayRetryMicroseconds = 200000;

bool ReadRequest(std::vector<std::u16string>& records) {
    std::string bytes;
    const bool read = ReceiveAll(kHelperChannelFd, bytes) && DecodeRecords(bytes, records);
    platform::WipeText(bytes);
    return read;
}

bool SendReply(std::vector<std::u16string>& reply) {
    std::string bytes = EncodeRecords(reply);
    const bool sent = SendAll(kHelperChannelFd, bytes);
    platform::WipeText(bytes);
    platform::WipeTexts(reply);
    return sent;
}

std::u16string EndCodeText(std::int32_t code) {
    return code == kEndCodeOk ? u"1" : u"2";
}

int RunNumberMode(std::vector<std::u16string> records) {
    NumberDialogTexts texts;
    if (!FromRecords(std::move(records), texts)) return kHelperExitBadRequest;
    std::u16string number;
    const std::int32_t code = RunNumberWindow(texts, number);
    std::vector<std::u16string> reply{EndCodeText(code)};
    if (code == kEndCodeOk) reply.push_back(number);
    platform::WipeText(number);
    return SendReply(reply) ? 0 : kHelperExitBadRequest;
}

int RunMessageMode(std::vector<std::u16string> records) {
    if (records.size() != kMessageRecordCount) return kHelperExitBadRequest;
    ReportMissingGlyphs(records);
    RunMessageWindow(nullptr, {std::move(records[0]), std::move(records[1])});
    std::vector<std::u16string> reply{EndCodeText(kEndCodeOk)};
    return SendReply(reply) ? 0 : kHelperExitBadRequest;
}

// The helper serves one request of one server: when the server goes, so
// does the helper, window and all. The windows are closed first so that the
// display drops them at once; then the process ends without an answer.
[[noreturn]] void EndWithServer() {
    GList* windows = gtk_window_list_toplevels();
    for (GList* window = windows; window != nullptr; window = window->next) {
        gtk_widget_destroy(GTK_WIDGET(window->data));
    }
    g_list_free(windows);
    if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
    _exit(kHelperExitServerGone);
}

gboolean OnServerGone(gint /*fd*/, GIOCondition /*condition*/, gpointer /*data*/) {
    EndWithServer();
}

// The server shuts its side of the channel for writing once it has sent the
// request, so a hang-up means its process has closed the channel: it ended.
bool ServerHasClosedChannel() {
    pollfd entry{kHelperChannelFd, 0, 0};
    return poll(&entry, 1, 0) == 1 && (entry.revents & (POLLHUP | POLLERR)) != 0;
}

// Asks for SIGTERM (whose default action ends the helper) when the server
// goes. A server that went before the request took effect has already made
// the helper an orphan, so the parent is checked again afterwards.
bool FollowServer() {
    const pid_t server = getppid();
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0) return !ServerHasClosedChannel();
    return getppid() == server && !ServerHasClosedChannel();
}

// Ends the helper from its main loop as soon as the server closes the
// channel, even while a window waits for the user.
void WatchServer() {
    g_unix_fd_add(kHelperChannelFd, static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR), OnServerGone,
                  nullptr);
}

// Every window of the helper carries the program's icon.
void SetProgramIcon() {
    GdkPixbuf* icon = gdk_pixbuf_new_from_xpm_data(mossvane_icon_xpm);
    if (icon == nullptr) return;
    gtk_window_set_default_icon(icon);
    g_object_unref(icon);
}

// A busy X server now and then refuses a connection; a user waiting for the
// dialog is better served by a few quick retries than by a cancellation.
bool OpenDisplay() {
    // The helper draws nothing with OpenGL, but GDK on X11 probes it to pick
    // its visuals, which loads the whole OpenGL driver (with a software
    // renderer, a compiler library of tens of megabytes) in the first GTK
    // program on a display. A setting of the user's own is left alone.
    setenv("GDK_GL", "disable", 0);
    for (int attempt = 0; attempt < kDisplayAttempts; ++attempt) {
        if (attempt > 0) g_usleep(kDisplayRetryMicroseconds);
        if (gtk_init_check(nullptr, nullptr)) return true;
    }
    return false;
}

int Run(int argc, char** argv) {
    if (argc != 2) return kHelperExitBadRequest;
    const bool numberMode = std::strcmp(argv[1], kNumberModeArgument) == 0;
    const bool messageMode = std::strcmp(argv[1], kMessageModeArgument) == 0;
    if (!numberMode && !messageMode) return kHelperExitBadRequest;
    // The user types the number here: no other process of the user may read
    // it from this one's memory, nor a core file keep it.
    if (!platform::KeepMemoryPrivate()) {
        std::fprintf(stderr, "mossvane-dialog: the memory could not be kept private\n");
    }

    if (!FollowServer()) return kHelperExitServerGone;

    std::vector<std::u16string> records;
    if (!ReadRequest(records)) return kHelperExitBadRequest;
    // The mode is all the command line says; GTK sees no arguments at all.
    if (!OpenDisplay()) {
        std::fprintf(stderr, "mossvane-dialog: cannot open a display: %s\n",
                     DescribeDisplayFailure().c_str());
        return kHelperExitNoDisplay;
    }
    WatchServer();
    SetProgramIcon();
    return numberMode ? RunNumberMode(std::move(records)) : RunMessageMode(std::move(records));
}

}  // namespace
}  // namespace mossvane::dialog_helper

int main(int argc, char** argv) {
    return mossvane::dialog_helper::Run(argc, argv);
}
