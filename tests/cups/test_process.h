// Programs the CUPS tests start: the server as the test user, cupsd, the
// CUPS command-line tools and the backend itself, each with an environment
// of its own, optionally under another user id, with standard input from a
// file and its outputs collected in one file.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mossvane::cups::test {

struct ProcessOptions {
    std::vector<std::string> arguments;    // argv[0] first.
    std::vector<std::string> environment;  // "NAME=value" entries; nothing else is passed.
    std::optional<uid_t> uid;              // Run as this user, with gid and no other groups.
    gid_t gid = 0;
    std::string input = "/dev/null";  // Standard input.
    std::string output;               // Standard output and standard error.
    bool ignoreTermination = false;   // Start with SIGTERM ignored, as some parents leave it.
};

class Process {
  public:
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Null when the program can't be started.
    static std::unique_ptr<Process> Start(const std::string& program,
                                          const ProcessOptions& options);

    // True when it ended within the timeout; exitCode is its exit status, or
    // 128 plus the signal that ended it.
    bool Wait(std::chrono::milliseconds timeout, int& exitCode);

    // Asks it to end with SIGTERM and waits, killing it when it does not.
    void Stop(std::chrono::milliseconds grace);

    // After it ended: as Wait gives it (128 + 9 when Stop had to kill it).
    int ExitCode() const { return m_exitCode; }

  private:
    explicit Process(pid_t pid) : m_pid(pid) {}
    pid_t m_pid;
    bool m_ended = false;
    int m_exitCode = -1;
};

// Runs a program to its end; its exit status, or -1 when it could not be
// started or did not end in time. output receives what it printed.
int RunToEnd(const std::string& program, ProcessOptions options, std::string& output,
             std::chrono::milliseconds timeout);

std::string ReadFile(const std::string& path);

}  // namespace mossvane::cups::test
