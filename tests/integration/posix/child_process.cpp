// Child processes on POSIX: posix_spawn with standard output and standard
// error (the debugger output here) redirected into files.
#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace mossvane::testing {

namespace {

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class PosixChild : public ChildProcess {
  public:
    PosixChild(pid_t pid, std::string outputPath, std::string debugPath)
        : m_pid(pid), m_outputPath(std::move(outputPath)), m_debugPath(std::move(debugPath)) {}

    ~PosixChild() override { Kill(); }

    bool WaitForExit(std::chrono::milliseconds timeout, int& exitCode) override {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!m_exited) {
            int status = 0;
            pid_t result = waitpid(m_pid, &status, WNOHANG);
            if (result == m_pid) {
                m_exited = true;
                m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        exitCode = m_exitCode;
        return true;
    }

    void Kill() override {
        if (m_exited) return;
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_exited = true;
        m_exitCode = -1;
    }

    std::uint32_t Id() const override { return static_cast<std::uint32_t>(m_pid); }
    std::string StandardOutput() const override { return ReadWholeFile(m_outputPath); }
    std::string DebugOutput() const override { return ReadWholeFile(m_debugPath); }

  private:
    pid_t m_pid;
    std::string m_outputPath;
    std::string m_debugPath;
    bool m_exited = false;
    int m_exitCode = -1;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  const std::string& outputFolder) {
    static int sequence = 0;
    std::string stem = outputFolder + "/child" + std::to_string(++sequence);
    std::string outputPath = stem + ".out";
    std::string debugPath = stem + ".debug";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, debugPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    int result = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) return nullptr;
    return std::make_unique<PosixChild>(pid, outputPath, debugPath);
}

std::string ChildProcess::ProgramFolder() {
    char buffer[4096];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string path(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
    return path.substr(0, path.find_last_of('/') + 1);
}

std::string ChildProcess::ExecutableSuffix() {
    return "";
}

bool ChildProcess::IsPosix() {
    return true;
}

}  // namespace mossvane::testing
