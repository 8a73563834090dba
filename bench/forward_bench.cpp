// Secure release at speed: one job forwarded by the CUPS backend to a local
// test printer (ippeveprinter over ipps), against ipptool sending the same
// file to the same printer as Create-Job and Send-Document, in the same run;
// and the backend's peak resident memory for a 1 MiB and a large job, which
// must not grow with the job (the data goes straight from the file to the
// printer). The backend serves no job of root's, so as root everything runs
// as nobody. The number comes from a stand-in for the user's server.
//
//   forward_bench [MiB, default 64]
#include <cups/cups.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_sandbox.h"
#include "bench_table.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 3;
constexpr const char* kPrograms[] = {"/usr/sbin/ippeveprinter", "/usr/bin/ipptool",
                                     "/usr/bin/dbus-daemon", "/usr/bin/openssl"};
constexpr char kFormat[] = "image/pwg-raster";
constexpr char16_t kAnswer[] = u"[Result]\nRETURN=OK\nPhoneNumber=90417263\n";
// ipptool's side: the same two operations the backend sends for the data.
constexpr char kIppToolTest[] = R"({
  OPERATION Create-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name $user
  ATTR name job-name bench
  STATUS successful-ok
}
{
  OPERATION Send-Document
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR integer job-id $job-id
  ATTR name requesting-user-name $user
  ATTR mimeMediaType document-format image/pwg-raster
  ATTR boolean last-document true
  FILE $filename
  STATUS successful-ok
}
)";

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "forward_bench: %s\n", what.c_str());
    std::exit(1);
}

void BecomeNobodyIfRoot() {
    if (geteuid() != 0) return;
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
        setuid(nobody->pw_uid) != 0) {
        Fail("can't become nobody");
    }
}

struct Run {
    int status = -1;
    double seconds = 1e9;
    double peakMiB = 0;
};

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts a program with only the given environment, its outputs going to
// the log. Everything the child needs is made before the fork: the stand-in
// server's thread may hold the allocator's lock at that moment.
pid_t StartProgram(std::vector<std::string> arguments, std::vector<std::string> environment,
                   const fs::path& log) {
    std::vector<char*> argv = Pointers(arguments);
    std::vector<char*> envp = Pointers(environment);
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out);
    if (pid < 0) Fail("can't start " + arguments[0]);
    return pid;
}

// Runs a program to its end: its status, time and peak resident memory.
Run RunProgram(std::vector<std::string> arguments, std::vector<std::string> environment,
               const fs::path& log) {
    const auto start = Clock::now();
    pid_t pid = StartProgram(std::move(arguments), std::move(environment), log);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) Fail("lost a child");
    Run run;
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return run;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

int FreePort() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// Waits until the printer answers and is idle: it takes one job at a time.
void WaitUntilIdle(int port) {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
        http_t* http = httpConnect2("localhost", port, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1,
                                    1000, nullptr);
        int state = 0;
        if (http != nullptr) {
            ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
            std::string uri = "ipp://localhost:" + std::to_string(port) + "/ipp/print";
            ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                         uri.c_str());
            ipp_t* response = cupsDoRequest(http, request, "/ipp/print");
            state = ippGetInteger(ippFindAttribute(response, "printer-state", IPP_TAG_ENUM), 0);
            ippDelete(response);
            httpClose(http);
        }
        if (state == IPP_PSTATE_IDLE) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Fail("the test printer did not become idle");
}

// The user's server as far as the backend needs it: every GETINFO is
// answered with the number.
class StandInServer {
  public:
    explicit StandInServer(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        m_fd = socket(AF_UNIX, SOCK_STREAM, 0);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_fd, 4) != 0) {
            Fail("can't make the stand-in server's socket " + path);
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~StandInServer() {
        shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        close(m_fd);
    }

  private:
    void Serve() {
        std::vector<std::uint8_t> answer;
        for (char16_t c : std::u16string(kAnswer) + u'\0') {
            answer.push_back(static_cast<std::uint8_t>(c & 0xFF));
            answer.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        for (int client; (client = accept(m_fd, nullptr, nullptr)) >= 0; close(client)) {
            std::uint8_t unit[2];
            while (read(client, unit, 2) == 2 && (unit[0] != 0 || unit[1] != 0)) {
            }
            (void)!write(client, answer.data(), answer.size());
        }
    }
    int m_fd = -1;
    std::thread m_thread;
};

std::string Fingerprint(int port) {
    std::string command = "openssl s_client -connect localhost:" + std::to_string(port) +
                          " </dev/null 2>/dev/null | openssl x509 -outform DER | sha256sum";
    FILE* pipe = popen(command.c_str(), "r");
    char text[65] = {};
    if (pipe == nullptr || std::fread(text, 1, 64, pipe) != 64) Fail("no printer certificate");
    pclose(pipe);
    return text;
}

void WriteJob(const fs::path& path, std::size_t bytes) {
    std::vector<char> piece(1 << 20);
    for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<char>(i * 131 % 251);
    std::ofstream file(path, std::ios::binary);
    for (std::size_t written = 0; written < bytes; written += piece.size()) {
        file.write(piece.data(),
                   static_cast<std::streamsize>(std::min(piece.size(), bytes - written)));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t jobMiB = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    for (const char* program : kPrograms) {
        if (access(program, X_OK) != 0) {
            std::printf(
                "forward_bench: skipped, %s is missing (Debian: cups-ipp-utils, "
                "dbus-daemon, openssl)\n",
                program);
            return 0;
        }
    }
    BecomeNobodyIfRoot();
    const passwd* me = getpwuid(getuid());
    const std::string user = me != nullptr ? me->pw_name : "";
    BenchSandbox sandbox("mossvane-forward-bench");
    const fs::path& root = sandbox.Root();
    const fs::path runtime = root / "run" / std::to_string(getuid());
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    for (const char* folder : {"keys", "spool"}) fs::create_directory(root / folder);
    const int port = FreePort();
    const std::string bus = "unix:path=" + (root / "bus").string();
    pid_t busPid =
        StartProgram({"/usr/bin/dbus-daemon", "--session", "--nofork", "--address=" + bus}, {},
                     root / "bus.log");
    while (!fs::exists(root / "bus")) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ofstream(root / "printer.conf") << "ATTR integer job-password-supported 20\n"
                                            "ATTR keyword job-password-encryption-supported "
                                            "none,sha2-256\n";
    pid_t printerPid = StartProgram(
        {"/usr/sbin/ippeveprinter", "-r", "off", "-n", "localhost", "-p", std::to_string(port),
         "-K", (root / "keys").string(), "-d", (root / "spool").string(), "-c", "/bin/true", "-a",
         (root / "printer.conf").string(), "Bench Printer"},
        {"DBUS_SYSTEM_BUS_ADDRESS=" + bus, "HOME=" + root.string()}, root / "printer.log");
    WaitUntilIdle(port);
    const std::string uri = "ipps://localhost:" + std::to_string(port) + "/ipp/print";
    const std::string deviceUri = "mossvane:/?forward=" + uri +
                                  "&forward-cert=" + Fingerprint(port) +
                                  "&forward-format=" + kFormat;
    StandInServer standIn((runtime / ("Mossvane_" + user)).string());
    std::ofstream(root / "job.test") << kIppToolTest;
    WriteJob(root / "large.bin", jobMiB << 20);
    WriteJob(root / "small.bin", 1 << 20);

    const std::vector<std::string> environment = {
        "DEVICE_URI=" + deviceUri, "MOSSVANE_CUPS_RUNTIME_ROOT=" + (root / "run").string(),
        "HOME=" + root.string(), "LANG=C"};
    const std::string backend = (ProgramFolder() / "mossvane-cups-backend").string();
    auto forward = [&](const char* file) {
        WaitUntilIdle(port);
        Run run = RunProgram({backend, "1", user, "bench", "1", "", (root / file).string()},
                             environment, root / "backend.log");
        if (run.status != 0) Fail("the backend failed: " + ReadFile(root / "backend.log"));
        return run;
    };
    Run best, baseline, small;
    for (int round = 0; round < kRounds; ++round) {
        WaitUntilIdle(port);
        Run tool = RunProgram({"/usr/bin/ipptool", "-d", "user=" + user, "-f",
                               (root / "large.bin").string(), uri, (root / "job.test").string()},
                              {"HOME=" + root.string(), "LANG=C"}, root / "ipptool.log");
        if (tool.status != 0) Fail("ipptool failed: " + ReadFile(root / "ipptool.log"));
        baseline.seconds = std::min(baseline.seconds, tool.seconds);
        Run large = forward("large.bin");
        best.seconds = std::min(best.seconds, large.seconds);
        best.peakMiB = std::max(best.peakMiB, large.peakMiB);
        Run one = forward("small.bin");
        small.peakMiB = std::max(small.peakMiB, one.peakMiB);
    }
    kill(printerPid, SIGTERM);
    kill(busPid, SIGTERM);
    waitpid(printerPid, nullptr, 0);
    waitpid(busPid, nullptr, 0);

    const double mib = static_cast<double>(jobMiB);
    PrintRow({"forward " + std::to_string(jobMiB) + " MiB over ipps (vs ipptool)", "MiB/s",
              mib / best.seconds, mib / baseline.seconds, baseline.seconds / best.seconds,
              ">= 0.90 ratio"});
    PrintRow({"forward peak memory of a " + std::to_string(jobMiB) + " MiB job (vs 1 MiB job)",
              "MiB", best.peakMiB, small.peakMiB, small.peakMiB / best.peakMiB, ">= 0.95 ratio"});
    return 0;
}
