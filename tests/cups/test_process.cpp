// Child processes with fork and exec: the identity change needs calls that
// posix_spawn does not offer. Everything the child needs is prepared before
// the fork, so the child makes only system calls.
#include "test_process.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace mossvane::cups::test {

namespace {

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

[[noreturn]] void RunChild(const std::string& program, const ProcessOptions& options, int input,
                           int output, char** argv, char** envp) {
    if (dup2(input, STDIN_FILENO) < 0 || dup2(output, STDOUT_FILENO) < 0 ||
        dup2(output, STDERR_FILENO) < 0) {
        _exit(126);
    }
    if (options.ignoreTermination) signal(SIGTERM, SIG_IGN);
    if (options.uid) {
        gid_t groups[] = {options.gid};
        if (setgroups(1, groups) != 0 || setgid(options.gid) != 0 || setuid(*options.uid) != 0) {
            _exit(126);
        }
    }
    execve(program.c_str(), argv, envp);
    _exit(127);
}

}  // namespace

Process::~Process() {
    Stop(std::chrono::milliseconds(0));
}

std::unique_ptr<Process> Process::Start(const std::string& program, const ProcessOptions& options) {
    int input = open(options.input.c_str(), O_RDONLY | O_CLOEXEC);
    int output = open(options.output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (input < 0 || output < 0) {
        if (input >= 0) close(input);
        if (output >= 0) close(output);
        return nullptr;
    }
    std::vector<char*> argv = Pointers(options.arguments);
    std::vector<char*> envp = Pointers(options.environment);
    pid_t pid = fork();
    if (pid == 0) RunChild(program, options, input, output, argv.data(), envp.data());
    close(input);
    close(output);
    if (pid < 0) return nullptr;
    return std::unique_ptr<Process>(new Process(pid));
}

bool Process::Wait(std::chrono::milliseconds timeout, int& exitCode) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!m_ended) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_ended = true;
            m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    exitCode = m_exitCode;
    return true;
}

void Process::Stop(std::chrono::milliseconds grace) {
    if (m_ended) return;
    int exitCode = 0;
    kill(m_pid, SIGTERM);
    if (Wait(grace, exitCode)) return;
    kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_ended = true;
    m_exitCode = 128 + SIGKILL;
}

int RunToEnd(const std::string& program, ProcessOptions options, std::string& output,
             std::chrono::milliseconds timeout) {
    char path[] = "/tmp/mossvane-cups-output-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return -1;
    close(fd);
    options.output = path;
    int exitCode = -1;
    if (auto process = Process::Start(program, options)) {
        if (!process->Wait(timeout, exitCode)) exitCode = -1;
    }
    output = ReadFile(path);
    unlink(path);
    return exitCode;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace mossvane::cups::test
