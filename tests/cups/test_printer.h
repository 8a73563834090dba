// A network printer for the forwarding tests: ippeveprinter on a loopback
// port, serving TLS on the same port with a certificate it makes at the
// first handshake, on a private D-Bus bus (it wants one even without
// DNS-SD), keeping every document it gets and logging every request with
// its attributes. It prints at once and never holds a job.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "test_process.h"

namespace mossvane::cups::test {

class TestPrinter {
  public:
    // Why it can't run here, or empty.
    static std::string WhyUnavailable();

    // Starts it in a folder of its own (removed with it) and waits until it
    // takes connections. holdsJobs: it lists job-password-supported (20) and
    // the encryptions none and sha2-256, as a printer that holds jobs does.
    explicit TestPrinter(bool holdsJobs);
    ~TestPrinter();

    std::string error;  // Why it did not start, or empty.
    std::string uri;
    // The SHA-256 of its certificate, read the way the manual page tells.
    std::string Fingerprint() const;
    std::string Log() const;
    std::vector<std::filesystem::path> Documents() const;

  private:
    std::filesystem::path m_folder;
    int m_port;
    std::unique_ptr<Process> m_bus;
    std::unique_ptr<Process> m_printer;
};

}  // namespace mossvane::cups::test
