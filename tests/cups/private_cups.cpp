#include "private_cups.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "server_harness.h"

namespace mossvane::cups::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr char kCupsd[] = "/usr/sbin/cupsd";
constexpr char kLpadmin[] = "/usr/sbin/lpadmin";
constexpr char kLp[] = "/usr/bin/lp";
constexpr char kLpstat[] = "/usr/bin/lpstat";
constexpr char kIpptool[] = "/usr/bin/ipptool";
constexpr char kSystemServerBin[] = "/usr/lib/cups";
constexpr auto kToolTimeout = 60s;

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

}  // namespace

int FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

std::string PrivateCups::WhyUnavailable() {
    if (geteuid() != 0) return "cupsd runs backends as root only when it runs as root";
    for (const char* program : {kCupsd, kLpadmin, kLp, kLpstat, kIpptool}) {
        if (access(program, X_OK) != 0) {
            return std::string(program) +
                   " is missing (Debian: cups-daemon, cups-client, cups-ipp-utils)";
        }
    }
    return "";
}

PrivateCups::PrivateCups(fs::path folder, fs::path backend, std::vector<std::string> environment)
    : m_folder(std::move(folder)),
      m_backend(std::move(backend)),
      m_environment(std::move(environment)) {}

PrivateCups::~PrivateCups() {
    Stop();
}

// cupsd runs a backend as root only when the file and its folder belong to
// root and nobody else may change them; the copy is made so. The scheduler's
// own helpers (cups-exec runs every backend) come from the system's folder.
void PrivateCups::WriteConfiguration() const {
    for (const char* folder : {"etc", "bin/backend", "spool/tmp", "cache", "state", "log"}) {
        fs::create_directories(m_folder / folder);
    }
    for (const char* part : {"daemon", "notifier", "filter", "cgi-bin"}) {
        fs::path system = fs::path(kSystemServerBin) / part;
        if (fs::exists(system)) fs::create_directory_symlink(system, m_folder / "bin" / part);
    }
    fs::path backend = m_folder / "bin/backend/mossvane";
    fs::copy_file(m_backend, backend);
    fs::permissions(backend, fs::perms::owner_all);

    std::string f = m_folder.string();
    std::ostringstream files;
    files << "ServerRoot " << f << "/etc\n"
          << "ServerBin " << f << "/bin\n"
          << "RequestRoot " << f << "/spool\n"
          << "TempDir " << f << "/spool/tmp\n"
          << "CacheDir " << f << "/cache\n"
          << "StateDir " << f << "/state\n"
          << "ErrorLog " << f << "/log/error_log\n"
          << "AccessLog " << f << "/log/access_log\n"
          << "PageLog " << f << "/log/page_log\n"
          << "Printcap " << f << "/state/printcap\n"
          << "SystemGroup root\n";
    for (const std::string& entry : m_environment) {
        std::size_t equals = entry.find('=');
        files << "SetEnv " << entry.substr(0, equals) << " " << entry.substr(equals + 1) << "\n";
    }
    WriteText(m_folder / "etc/cups-files.conf", files.str());

    // The scheduler listens only on a socket in the test's folder. Under
    // the default policy anyone may do anything, under any name; the
    // authenticated policy makes job submitters prove who they are, as
    // Debian's policy of that name does (a local submitter by the peer
    // credentials of the socket, without a password).
    WriteText(m_folder / "etc/cupsd.conf",
              "LogLevel debug\n"
              "Listen 127.0.0.1:" +
                  std::to_string(m_tcpPort) + "\nListen " + f +
                  "/cups.sock\n"
                  "Browsing Off\n"
                  "WebInterface No\n"
                  "<Location />\n  Order allow,deny\n  Allow all\n"
                  "</Location>\n"
                  "<Policy default>\n  <Limit All>\n"
                  "    Order deny,allow\n  </Limit>\n</Policy>\n"
                  "<Policy authenticated>\n"
                  "  <Limit Create-Job Print-Job Print-URI Validate-Job>\n"
                  "    AuthType Default\n    Order deny,allow\n  </Limit>\n"
                  "  <Limit Send-Document Send-URI Cancel-Job Hold-Job Release-Job>\n"
                  "    AuthType Default\n    Require user @OWNER @SYSTEM\n"
                  "    Order deny,allow\n  </Limit>\n"
                  "  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
}

std::string PrivateCups::Start() {
    m_tcpPort = FreeLoopbackPort();
    WriteConfiguration();
    ProcessOptions options;
    options.arguments = {kCupsd, "-f",
                         "-c",   (m_folder / "etc/cupsd.conf").string(),
                         "-s",   (m_folder / "etc/cups-files.conf").string()};
    options.environment = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C"};
    options.output = (m_folder / "log/cupsd.out").string();
    m_cupsd = Process::Start(kCupsd, options);
    if (!m_cupsd) return "cupsd could not be started";
    int exitCode = 0;
    bool ready = testing::WaitUntil(
        [&] { return RunTool(kLpstat, {"-r"}, exitCode) == "scheduler is running\n"; },
        testing::kStartTimeout);
    if (ready) return "";
    return "cupsd did not start: " + ReadFile(options.output) +
           ReadFile((m_folder / "log/error_log").string());
}

void PrivateCups::Stop() {
    if (m_cupsd) m_cupsd->Stop(10s);
    m_cupsd.reset();
}

std::string PrivateCups::RunTool(const std::string& program, std::vector<std::string> arguments,
                                 int& exitCode, std::optional<uid_t> uid, gid_t gid) const {
    ProcessOptions options;
    options.uid = uid;
    options.gid = gid;
    options.arguments = {program};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.environment = {"CUPS_SERVER=" + (m_folder / "cups.sock").string(), "LANG=C",
                           "PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
    std::string output;
    exitCode = RunToEnd(program, options, output, kToolTimeout);
    return output;
}

std::string PrivateCups::AddQueue(const std::string& name, const std::string& uri,
                                  bool authenticated) {
    int exitCode = 0;
    std::string policy = authenticated ? "authenticated" : "default";
    std::string output = RunTool(kLpadmin,
                                 {"-p", name, "-E", "-v", uri, "-o", "printer-op-policy=" + policy,
                                  "-o", "printer-error-policy=stop-printer"},
                                 exitCode);
    return exitCode == 0 ? "" : "lpadmin failed: " + output;
}

int PrivateCups::Print(const std::string& queue, const Submitter& submitter,
                       const std::string& title, const std::string& file, std::string& output) {
    int exitCode = 0;
    std::vector<std::string> arguments = {"-d", queue, "-t", title};
    if (!submitter.claimedName.empty()) {
        arguments.insert(arguments.end(), {"-U", submitter.claimedName});
    }
    arguments.push_back(file);
    std::string jobId = queue + "-([0-9]+)";
    if (submitter.password.empty()) {
        output = RunTool(kLp, arguments, exitCode, submitter.uid, submitter.gid);
    } else {
        output = RunTool(kIpptool,
                         {"-tv", "-f", file,
                          "ipp://" + submitter.claimedName + ":" + submitter.password +
                              "@127.0.0.1:" + std::to_string(m_tcpPort) + "/printers/" + queue,
                          "print-job.test"},
                         exitCode);
        jobId = R"(job-id \(integer\) = ([0-9]+))";
    }
    std::smatch match;
    if (exitCode != 0 || !std::regex_search(output, match, std::regex(jobId))) {
        return 0;
    }
    return std::stoi(match[1]);
}

std::vector<std::string> PrivateCups::JobLog(int jobId) const {
    std::istringstream log(ReadFile((m_folder / "log/error_log").string()));
    std::string tag = "[Job " + std::to_string(jobId) + "] ";
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        std::size_t at = line.find(tag);
        if (at != std::string::npos) lines.push_back(line.substr(at + tag.size()));
    }
    return lines;
}

// cupsd's lines: "PID n (<backend>) exited with no errors." or
// "PID n (<backend>) stopped with status s."
BackendEnd PrivateCups::WaitForBackendEnd(int jobId, std::chrono::milliseconds timeout) const {
    BackendEnd end;
    std::regex stopped(R"(^PID [0-9]+ \(.*/backend/mossvane\) stopped with status ([0-9]+)\.)");
    std::regex exited(R"(^PID [0-9]+ \(.*/backend/mossvane\) exited with no errors\.)");
    testing::WaitUntil(
        [&] {
            for (const std::string& line : JobLog(jobId)) {
                std::smatch match;
                if (std::regex_search(line, match, stopped)) {
                    end = {true, std::stoi(match[1])};
                } else if (std::regex_search(line, exited)) {
                    end = {true, 0};
                }
            }
            return end.ended;
        },
        timeout);
    return end;
}

bool PrivateCups::IsEnabled(const std::string& queue) const {
    int exitCode = 0;
    // "printer q is idle.  enabled since ...", or "printer q disabled since ...".
    return RunTool(kLpstat, {"-p", queue}, exitCode).find(" enabled since") != std::string::npos;
}

bool PrivateCups::IsPending(const std::string& queue, int jobId) const {
    int exitCode = 0;
    std::string jobs = RunTool(kLpstat, {"-o", queue}, exitCode);
    return jobs.find(queue + "-" + std::to_string(jobId) + " ") != std::string::npos;
}

}  // namespace mossvane::cups::test
