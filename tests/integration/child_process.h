// A program started by a test, with its standard output and debugger output
// collected so the test can wait for a text to appear.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mossvane::testing {

class ChildProcess {
  public:
    virtual ~ChildProcess() = default;

    // Starts the program with the arguments; its outputs are kept in files
    // inside outputFolder. Returns null when the program can't be started.
    static std::unique_ptr<ChildProcess> Start(const std::string& program,
                                               const std::vector<std::string>& arguments,
                                               const std::string& outputFolder);

    // The folder the test programs run from, which also holds the program
    // under test, with a trailing separator, and the executable file suffix.
    static std::string ProgramFolder();
    static std::string ExecutableSuffix();

    // Whether the program stands in for Windows with POSIX means (sockets,
    // .reg files), where some checks only make sense.
    static bool IsPosix();

    // True when the process ended within the timeout; exitCode is then set.
    virtual bool WaitForExit(std::chrono::milliseconds timeout, int& exitCode) = 0;
    virtual void Kill() = 0;
    virtual std::uint32_t Id() const = 0;

    // Everything collected so far, as UTF-8.
    virtual std::string StandardOutput() const = 0;
    virtual std::string DebugOutput() const = 0;
};

}  // namespace mossvane::testing
