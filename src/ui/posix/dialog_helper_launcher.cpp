// Starts the dialog helper program beside the server and talks to it over a
// socket pair.
#include "ui/posix/dialog_helper_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/debug_output.h"
#include "platform/posix/posix_util.h"
#include "platform/system_info.h"
#include "platform/utf8.h"
#include "platform/wipe.h"
#include "ui/dialog_constants.h"
#include "ui/posix/dialog_channel.h"

extern char** environ;

namespace mossvane::dialog_helper {

using platform::ExecutableFolder;
using platform::OutputDebugText;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;
using platform::WipeText;
using platform::WipeTexts;
using platform::posix::UniqueFd;

namespace {

// Descriptors below this are the standard ones and the channel.
constexpr int kFirstFreeFd = kHelperChannelFd + 1;

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

// posix_spawn's dup2 onto the same number would keep close-on-exec set, so
// the child's end of the channel must not already be descriptor 3.
bool MoveAwayFromChannelFd(UniqueFd& fd) {
    if (fd.Get() != kHelperChannelFd) return true;
    const int moved = fcntl(fd.Get(), F_DUPFD_CLOEXEC, kFirstFreeFd);
    if (moved < 0) return false;
    fd.Reset(moved);
    return true;
}

// The helper starts with every signal unblocked and SIGPIPE and SIGTERM at
// their default actions, whatever the server set for itself: it relies on
// SIGTERM to end with the server.
bool InitSpawnAttributes(posix_spawnattr_t& attributes) {
    if (posix_spawnattr_init(&attributes) != 0) return false;
    sigset_t defaults;
    sigset_t mask;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&mask);
    const short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
        posix_spawnattr_setsigmask(&attributes, &mask) == 0 &&
        posix_spawnattr_setflags(&attributes, flags) == 0) {
        return true;
    }
    posix_spawnattr_destroy(&attributes);
    return false;
}

bool SpawnHelper(const std::string& path, const char* mode, int channelFd, pid_t& pid) {
    posix_spawnattr_t attributes;
    if (!InitSpawnAttributes(attributes)) return false;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        posix_spawnattr_destroy(&attributes);
        return false;
    }
    // The helper gets the channel and nothing else of the server's: no pipe
    // instance or lock file must outlive the server in a dialog process.
    bool ready =
        posix_spawn_file_actions_adddup2(&actions, channelFd, kHelperChannelFd) == 0 &&
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
        posix_spawn_file_actions_addclosefrom_np(&actions, kFirstFreeFd) == 0;
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(mode), nullptr};
    ready = ready && posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return ready;
}

int WaitForExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// A dialog that can't be shown is answered as cancelled; the trace says why.
void TraceHelperFailure(int status) {
    std::string reason = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                         : WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                               : "status " + std::to_string(status);
    OutputDebugText(u"[PI] The dialog helper ended without an answer (" + Utf8ToUtf16(reason) +
                    u")");
}

// The end code from the helper's reply; -1 when the reply is unusable.
std::int32_t EndCodeFromReply(std::vector<std::u16string>& reply, std::u16string& answer) {
    if (reply.empty() || reply.size() > 2) return -1;
    std::int32_t code = 0;
    if (reply[0] == u"1") {
        code = 1;
    } else if (reply[0] == u"2") {
        code = 2;
    } else {
        return -1;
    }
    if (reply.size() == 2) answer = std::move(reply[1]);
    return code;
}

}  // namespace

bool HasDisplay() {
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

std::int32_t RunDialogHelper(const char* modeArgument, const std::vector<std::u16string>& texts,
                             std::u16string& answer, const std::function<bool()>& closeWhen) {
    answer.clear();
    if (!HasDisplay()) return -1;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return -1;
    UniqueFd ours(ends[0]);
    UniqueFd theirs(ends[1]);
    if (!MoveAwayFromChannelFd(theirs)) return -1;

    const std::string helperPath = Utf16ToUtf8(ExecutableFolder()) + kDialogHelperName;
    pid_t pid = 0;
    if (!SpawnHelper(helperPath, modeArgument, theirs.Get(), pid)) return -1;
    theirs.Reset();

    std::string request = EncodeRecords(texts);
    const bool sent = SendAll(ours.Get(), request) && shutdown(ours.Get(), SHUT_WR) == 0;
    WipeText(request);
    std::string reply;
    const Received received =
        sent ? ReceiveAllUnless(ours.Get(), reply, closeWhen) : Received::Failed;
    // The helper takes a closed channel for the server's end: its windows go.
    ours.Reset();
    const int status = WaitForExit(pid);

    std::vector<std::u16string> records;
    std::int32_t code = received == Received::GaveUp ? kEndCodeCancel : -1;
    if (received == Received::All && DecodeRecords(reply, records)) {
        code = EndCodeFromReply(records, answer);
    }
    if (code < 0) TraceHelperFailure(status);
    WipeText(reply);
    WipeTexts(records);
    return code;
}

}  // namespace mossvane::dialog_helper
