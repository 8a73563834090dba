// The dialog as a user meets it: the time from a GETINFO request to the
// identification-number dialog's window being mapped, against the time a
// minimal GTK program with an entry takes from its start to its window being
// mapped. Both run on the display named by DISPLAY (scripts/bench gives a
// virtual one), with no window manager, so the map is the moment the window
// shows. Rounds alternate so that whatever else the machine does hits both.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench_sandbox.h"
#include "bench_table.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRounds = 9;
constexpr auto kMapTimeout = 30s;
constexpr char kDialogTitle[] = "Personal Identification Number";
constexpr char kBaselineTitle[] = "Entry window baseline";

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Watches the display for top-level windows being mapped.
class MapWatch {
  public:
    MapWatch() : m_display(XOpenDisplay(nullptr)) {
        if (m_display == nullptr) return;
        XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
        m_deleteWindow = XInternAtom(m_display, "WM_DELETE_WINDOW", False);
        m_protocols = XInternAtom(m_display, "WM_PROTOCOLS", False);
        XSync(m_display, True);
    }
    ~MapWatch() {
        if (m_display != nullptr) XCloseDisplay(m_display);
    }
    bool IsOpen() const { return m_display != nullptr; }

    // Forgets what was mapped before a round starts.
    void Reset() { XSync(m_display, True); }

    // The next top-level window titled `title` to be mapped, or 0.
    Window WaitForMap(const char* title) {
        const auto deadline = Clock::now() + kMapTimeout;
        while (Clock::now() < deadline) {
            if (XPending(m_display) == 0) {
                pollfd entry{ConnectionNumber(m_display), POLLIN, 0};
                poll(&entry, 1, 100);
                continue;
            }
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type == MapNotify && HasTitle(event.xmap.window, title)) {
                return event.xmap.window;
            }
        }
        return 0;
    }

    // Closes `window` as its close box does.
    void Close(Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = m_protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(m_deleteWindow);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, window, False, NoEventMask, &event);
        XFlush(m_display);
    }

  private:
    bool HasTitle(Window window, const char* title) {
        char* name = nullptr;
        const bool matches = XFetchName(m_display, window, &name) != 0 && name != nullptr &&
                             std::strcmp(name, title) == 0;
        if (name != nullptr) XFree(name);
        return matches;
    }

    Display* m_display;
    Atom m_deleteWindow = 0;
    Atom m_protocols = 0;
};

pid_t Spawn(const std::string& program, bool quiet) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

int ConnectTo(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Connects to the server, starting one when none answers.
int ConnectToServer(const BenchSandbox& sandbox, pid_t& server) {
    int fd = ConnectTo(sandbox.SocketPath());
    if (fd >= 0) return fd;
    if (server > 0) waitpid(server, nullptr, 0);
    server = Spawn((ProgramFolder() / "mossvane").string(), true);
    const auto deadline = Clock::now() + 30s;
    while (fd < 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
        fd = ConnectTo(sandbox.SocketPath());
    }
    return fd;
}

// "@=GETINFO" in UTF-16LE with its terminator.
std::vector<char> GetInfoRequest() {
    std::vector<char> bytes;
    for (char c : std::string("@=GETINFO")) bytes.insert(bytes.end(), {c, 0});
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

// One GETINFO whose dialog is closed as soon as it shows; its time to map.
double DialogRound(MapWatch& watch, const BenchSandbox& sandbox, pid_t& server) {
    const int fd = ConnectToServer(sandbox, server);
    if (fd < 0) return -1;
    watch.Reset();
    const std::vector<char> request = GetInfoRequest();
    const auto start = Clock::now();
    if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
        close(fd);
        return -1;
    }
    const Window window = watch.WaitForMap(kDialogTitle);
    const double elapsed = MillisecondsSince(start);
    if (window != 0) watch.Close(window);
    char answer[4104];
    const bool answered = read(fd, answer, sizeof answer) > 0;
    close(fd);
    return window != 0 && answered ? elapsed : -1;
}

double BaselineRound(MapWatch& watch) {
    watch.Reset();
    const auto start = Clock::now();
    const pid_t baseline = Spawn((ProgramFolder() / "mossvane_bench_entry_window").string(), true);
    if (baseline < 0) return -1;
    const Window window = watch.WaitForMap(kBaselineTitle);
    const double elapsed = MillisecondsSince(start);
    if (window != 0) {
        watch.Close(window);
    } else {
        kill(baseline, SIGKILL);
    }
    waitpid(baseline, nullptr, 0);
    return window != 0 ? elapsed : -1;
}

}  // namespace

int main() {
    signal(SIGPIPE, SIG_IGN);
    MapWatch watch;
    if (!watch.IsOpen()) {
        std::fprintf(stderr, "dialog_bench: no display (run under xvfb-run)\n");
        return 1;
    }
    BenchSandbox sandbox("mossvane-dialog-bench");
    pid_t server = -1;
    std::vector<double> dialog, baseline;
    for (int round = 0; round < kRounds; ++round) {
        const double b = BaselineRound(watch);
        const double d = DialogRound(watch, sandbox, server);
        if (b < 0 || d < 0) {
            std::fprintf(stderr, "dialog_bench: a window did not show\n");
            return 1;
        }
        baseline.push_back(b);
        dialog.push_back(d);
    }
    if (server > 0) {
        kill(server, SIGKILL);
        waitpid(server, nullptr, 0);
    }
    const double d = Median(dialog);
    const double b = Median(baseline);
    PrintRow({"GETINFO to dialog on screen", "ms", d, b, b / d, "<= 200 ms"});
    return 0;
}
