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

    // holdsJobs: it lists job-password-supported (20) and the encryptions
    // none and sha2-256, as a printer that holds jobs does. Its files go
    // into a folder of its own, removed with it.
    explicit TestPrinter(bool holdsJobs);
    ~TestPrinter();

    // Starts it and waits until it takes connections; empty or the reason.
    std::string Start();
    std::string Uri() const;
    // The SHA-256 of its certificate, read the way the manual page tells.
    std::string Fingerprint() const;
    std::string Log() const;
    std::vector<std::filesystem::path> Documents() const;

  private:
    std::filesystem::path m_folder;
    bool m_holdsJobs;
    int m_port;
    std::unique_ptr<Process> m_bus;
    std::unique_ptr<Process> m_printer;
};

}  // namespace mossvane::cups::test
