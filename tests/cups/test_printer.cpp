#include "test_printer.h"

#include <cups/http.h>
#include <unistd.h>

#include <fstream>

#include "private_cups.h"
#include "server_harness.h"

namespace mossvane::cups::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr char kIppEvePrinter[] = "/usr/sbin/ippeveprinter";
constexpr char kDbusDaemon[] = "/usr/bin/dbus-daemon";
constexpr char kOpenssl[] = "/usr/bin/openssl";

bool Accepts(int port) {
    http_t* http = httpConnect2("127.0.0.1", port, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED,
                                1, 1000, nullptr);
    httpClose(http);
    return http != nullptr;
}

}  // namespace

std::string TestPrinter::WhyUnavailable() {
    for (const char* program : {kIppEvePrinter, kDbusDaemon, kOpenssl}) {
        if (access(program, X_OK) != 0) {
            return std::string(program) +
                   " is missing (Debian: cups-ipp-utils, dbus-daemon, openssl)";
        }
    }
    return "";
}

TestPrinter::TestPrinter(bool holdsJobs) : m_port(FreeLoopbackPort()) {
    char pattern[] = "/tmp/mossvane-printer-XXXXXX";
    m_folder = mkdtemp(pattern);
    uri = "ipps://localhost:" + std::to_string(m_port) + "/ipp/print";
    fs::create_directories(m_folder / "keys");
    fs::create_directories(m_folder / "spool");
    const std::string bus = "unix:path=" + (m_folder / "bus").string();
    ProcessOptions options;
    options.arguments = {kDbusDaemon, "--session", "--nofork", "--address=" + bus};
    options.output = (m_folder / "bus.log").string();
    m_bus = Process::Start(kDbusDaemon, options);
    if (!testing::WaitUntil([&] { return fs::exists(m_folder / "bus"); }, testing::kStartTimeout)) {
        error = "dbus-daemon did not start: " + ReadFile(options.output);
        return;
    }
    // clang-format off
    options.arguments = {kIppEvePrinter, "-vv", "-r", "off", "-n", "localhost", "-k", "-c",
        "/bin/true", "-p", std::to_string(m_port), "-K", (m_folder / "keys").string(),
        "-d", (m_folder / "spool").string()};
    // clang-format on
    if (holdsJobs) {
        std::ofstream(m_folder / "attributes.conf")
            << "ATTR integer job-password-supported 20\n"
               "ATTR keyword job-password-encryption-supported none,sha2-256\n";
        options.arguments.insert(options.arguments.end(),
                                 {"-a", (m_folder / "attributes.conf").string()});
    }
    options.arguments.push_back("Test Printer");
    options.environment = {"DBUS_SYSTEM_BUS_ADDRESS=" + bus, "HOME=" + m_folder.string(), "LANG=C"};
    options.output = (m_folder / "printer.log").string();
    m_printer = Process::Start(kIppEvePrinter, options);
    if (!testing::WaitUntil([&] { return Accepts(m_port); }, testing::kStartTimeout)) {
        error = "ippeveprinter did not start: " + Log();
    }
}

TestPrinter::~TestPrinter() {
    if (m_printer) m_printer->Stop(5s);
    if (m_bus) m_bus->Stop(5s);
    std::error_code ignored;
    fs::remove_all(m_folder, ignored);
}

std::string TestPrinter::Fingerprint() const {
    ProcessOptions options;
    options.arguments = {"sh", "-c",
                         "openssl s_client -connect localhost:" + std::to_string(m_port) +
                             " </dev/null 2>/dev/null | openssl x509 -outform DER | sha256sum"};
    options.environment = {"PATH=/usr/bin:/bin"};
    std::string output;
    RunToEnd("/bin/sh", options, output, testing::kStartTimeout);
    return output.substr(0, 64);
}

std::string TestPrinter::Log() const {
    return ReadFile((m_folder / "printer.log").string());
}

std::vector<fs::path> TestPrinter::Documents() const {
    std::vector<fs::path> documents;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_folder / "spool")) {
        // The command's output beside each document is empty (it is /bin/true).
        if (entry.path().extension() != ".prn") documents.push_back(entry.path());
    }
    return documents;
}

}  // namespace mossvane::cups::test
