// The server seen from outside, as a driver module sees it: request round
// trips per second against a minimal thread-per-connection server written
// here, the resident memory of an idle server and of each open connection,
// and the time from start to the first accepted connection. Every figure is
// printed as a CSV row (see bench_table.h), so one table can hold them all.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_sandbox.h"
#include "bench_table.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kClientThreads = 2;
constexpr int kRequestsPerThread = 2000;
constexpr int kRateRounds = 15;
constexpr int kStartRounds = 10;
constexpr int kOpenConnections = 100;

// "@=OpenUI" in UTF-16LE with its terminator: answered at once with an
// empty text, without a dialog.
const std::vector<char> kRequest = [] {
    std::vector<char> bytes;
    for (char c : std::string("@=OpenUI")) bytes.insert(bytes.end(), {c, 0});
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}();

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int ConnectTo(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
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

// One round trip as a driver module makes it: connect, request, answer, close.
bool RoundTrip(const std::string& path) {
    int fd = ConnectTo(path);
    if (fd < 0) return false;
    bool answered =
        write(fd, kRequest.data(), kRequest.size()) == static_cast<ssize_t>(kRequest.size());
    char answer[4104];
    answered = answered && read(fd, answer, sizeof answer) > 0;
    close(fd);
    return answered;
}

double RequestsPerSecond(const std::string& path) {
    std::atomic<int> failures = 0;
    auto start = Clock::now();
    std::vector<std::thread> clients;
    for (int t = 0; t < kClientThreads; ++t) {
        clients.emplace_back([&] {
            for (int i = 0; i < kRequestsPerThread; ++i) {
                if (!RoundTrip(path)) ++failures;
            }
        });
    }
    for (auto& client : clients) client.join();
    double seconds = SecondsSince(start);
    if (failures > 0)
        std::fprintf(stderr, "server_bench: %d round trips failed\n", failures.load());
    return kClientThreads * kRequestsPerThread / seconds;
}

// The baseline: accept, one thread per connection that reads the request,
// writes a two-byte answer and closes. Runs in a process of its own, as the
// server does.
[[noreturn]] void ServeBaseline(int listener) {
    for (;;) {
        int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::thread([fd] {
            char buffer[4104];
            if (read(fd, buffer, sizeof buffer) > 0) {
                const char answer[2] = {0, 0};
                [[maybe_unused]] ssize_t written = write(fd, answer, sizeof answer);
            }
            close(fd);
        }).detach();
    }
}

pid_t StartBaseline(const std::string& path) {
    int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (listener < 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, SOMAXCONN) != 0) {
        std::perror("server_bench: baseline socket");
        std::exit(1);
    }
    pid_t child = fork();
    if (child == 0) ServeBaseline(listener);
    close(listener);
    return child;
}

pid_t StartServer() {
    pid_t child = fork();
    if (child == 0) {
        // The server's traces go where a session's would; here they only
        // cost their writes.
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::string program = (ProgramFolder() / "mossvane").string();
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

bool WaitForAccept(const std::string& path, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        int fd = ConnectTo(path);
        if (fd >= 0) {
            close(fd);
            return true;
        }
        std::this_thread::sleep_for(100us);
    }
    return false;
}

void StopServer(pid_t server) {
    kill(server, SIGKILL);
    waitpid(server, nullptr, 0);
}

// A line of /proc/<pid>/status such as "VmRSS:" as a number (kB for sizes).
long StatusField(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + field.size());
    }
    return -1;
}

bool WaitForThreads(pid_t pid, long count, std::chrono::seconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (StatusField(pid, "Threads:") >= count) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

std::string BaselinePath(const BenchSandbox& sandbox) {
    return (sandbox.Root() / "baseline.sock").string();
}

void BenchRequestRate(const BenchSandbox& sandbox) {
    pid_t baseline = StartBaseline(BaselinePath(sandbox));
    pid_t server = StartServer();
    if (!WaitForAccept(sandbox.SocketPath(), 30s)) {
        std::fprintf(stderr, "server_bench: the server did not start\n");
        std::exit(1);
    }
    // Alternating rounds share out whatever else the machine is doing.
    std::vector<double> ratios;
    double serverRate = 0, baselineRate = 0;
    for (int round = 0; round < kRateRounds; ++round) {
        double b = RequestsPerSecond(BaselinePath(sandbox));
        double s = RequestsPerSecond(sandbox.SocketPath());
        ratios.push_back(s / b);
        serverRate += s / kRateRounds;
        baselineRate += b / kRateRounds;
    }
    std::sort(ratios.begin(), ratios.end());
    PrintRow({"request round trips", "1/s", serverRate, baselineRate, ratios[ratios.size() / 2],
              ">= 0.90 ratio"});
    StopServer(server);
    kill(baseline, SIGKILL);
    waitpid(baseline, nullptr, 0);
}

void BenchStartAndMemory(const BenchSandbox& sandbox) {
    std::vector<double> startTimes;
    for (int round = 0; round < kStartRounds; ++round) {
        fs::remove(sandbox.SocketPath());
        auto start = Clock::now();
        pid_t server = StartServer();
        if (!WaitForAccept(sandbox.SocketPath(), 30s)) std::exit(1);
        startTimes.push_back(SecondsSince(start) * 1000);
        if (round + 1 < kStartRounds) {
            StopServer(server);
            continue;
        }
        // The probe connection above has come and gone; the server is idle.
        WaitForThreads(server, 1, 5s);
        std::this_thread::sleep_for(200ms);
        long idleKb = StatusField(server, "VmRSS:");
        long threadsBefore = StatusField(server, "Threads:");
        std::vector<int> connections;
        for (int i = 0; i < kOpenConnections; ++i)
            connections.push_back(ConnectTo(sandbox.SocketPath()));
        WaitForThreads(server, threadsBefore + kOpenConnections, 30s);
        long busyKb = StatusField(server, "VmRSS:");
        for (int fd : connections) close(fd);
        PrintRow({"idle resident memory", "MiB", idleKb / 1024.0, 0, 0, "<= 4 MiB"});
        PrintRow({"memory per open connection", "KiB",
                  static_cast<double>(busyKb - idleKb) / kOpenConnections, 0, 0, "-"});
        StopServer(server);
    }
    std::sort(startTimes.begin(), startTimes.end());
    PrintRow({"start to accepting", "ms", startTimes[startTimes.size() / 2], 0, 0, "<= 10 ms"});
}

}  // namespace

int main() {
    signal(SIGPIPE, SIG_IGN);
    BenchSandbox sandbox("mossvane-bench");
    BenchRequestRate(sandbox);
    BenchStartAndMemory(sandbox);
    return 0;
}
