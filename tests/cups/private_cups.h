// A CUPS scheduler of the test's own: cupsd in the foreground with its
// configuration, spool, logs and backend folder inside one test folder,
// listening on a Unix socket there and on a free loopback TCP port, so no
// system CUPS is touched.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "test_process.h"

namespace mossvane::cups::test {

// A loopback port nobody listens on now (its user takes it a moment later).
int FreeLoopbackPort();

// What the backend reports when it is done with a job.
struct BackendEnd {
    bool ended = false;
    int status = -1;  // Exit status, 0 when "exited with no errors".
};

class PrivateCups {
  public:
    // Why the scheduler can't run here, or empty when it can: it needs root
    // (it runs backends of mode 0700 as root only then) and the CUPS programs.
    static std::string WhyUnavailable();

    // folder: an empty folder that root owns. backend: the built backend,
    // copied in as backend/mossvane. environment: entries cupsd hands to
    // every backend ("NAME=value").
    PrivateCups(std::filesystem::path folder, std::filesystem::path backend,
                std::vector<std::string> environment);
    ~PrivateCups();

    // Starts cupsd and waits until it takes requests; empty or the reason.
    std::string Start();
    void Stop();

    // lpadmin -p name -E -v uri: a raw queue whose error policy stops it on
    // a backend failure (CUPS's default), under the operation policy that
    // authenticates local submitters when asked, else under one that lets
    // anybody submit under any name (CUPS's default does so).
    std::string AddQueue(const std::string& name, const std::string& uri, bool authenticated);

    // Who submits a job: lp runs as this user (root when absent) and claims
    // the name given with -U (none when empty).
    struct Submitter {
        std::optional<uid_t> uid{};
        gid_t gid = 0;
        std::string claimedName;
        std::string password{};  // If set, ipptool prints as claimedName over TCP, with Basic.
    };

    // lp -d queue [-U name] -t title file; the job id, or 0 with output set.
    int Print(const std::string& queue, const Submitter& submitter, const std::string& title,
              const std::string& file, std::string& output);

    // Waits until cupsd logs the end of the job's backend.
    BackendEnd WaitForBackendEnd(int jobId, std::chrono::milliseconds timeout) const;

    // The job's lines of the scheduler's log, which hold the backend's own.
    std::vector<std::string> JobLog(int jobId) const;

    // Whether the job is still waiting to be printed (lpstat -o).
    bool IsPending(const std::string& queue, int jobId) const;

    // Its configuration, logs, spool and state.
    const std::filesystem::path& Folder() const { return m_folder; }

    // Whether the queue takes jobs to its backend (lpstat -p), not disabled.
    bool IsEnabled(const std::string& queue) const;

  private:
    std::string RunTool(const std::string& program, std::vector<std::string> arguments,
                        int& exitCode, std::optional<uid_t> uid = std::nullopt,
                        gid_t gid = 0) const;
    void WriteConfiguration() const;

    std::filesystem::path m_folder;
    std::filesystem::path m_backend;
    std::vector<std::string> m_environment;
    std::unique_ptr<Process> m_cupsd;
    int m_tcpPort = 0;
};

}  // namespace mossvane::cups::test
