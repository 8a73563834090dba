#include "throwaway_user.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <vector>

#include "server_harness.h"
#include "test_process.h"

namespace mossvane::cups::test {

namespace {

using namespace std::chrono_literals;

constexpr char kUserAdd[] = "/usr/sbin/useradd";
constexpr char kUserDel[] = "/usr/sbin/userdel";
constexpr char kShell[] = "/bin/sh";
constexpr char kNamePrefix[] = "mvt";
constexpr auto kToolTimeout = 60s;
// useradd gives up at once when another one holds the password files' lock
// (tests run in parallel); it is tried again until this passes. So is
// chpasswd, which says so with the same status.
constexpr auto kLockPatience = 60s;
constexpr int kUserAddCantUpdateFiles = 10;
constexpr int kUserAddLocked = 1;

int RunAccountTool(const char* program, std::vector<std::string> arguments, std::string& output) {
    ProcessOptions options;
    options.arguments = {program};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.environment = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C"};
    return RunToEnd(program, options, output, kToolTimeout);
}

// Runs the tool until it is not turned away by another one's lock.
int RunWithLockRetries(const char* program, const std::vector<std::string>& arguments,
                       std::string& output) {
    int exitCode = -1;
    testing::WaitUntil(
        [&] {
            exitCode = RunAccountTool(program, arguments, output);
            return exitCode != kUserAddCantUpdateFiles && exitCode != kUserAddLocked;
        },
        kLockPatience);
    return exitCode;
}

bool ProcessIsGone(pid_t pid) {
    return kill(pid, 0) != 0 && errno == ESRCH;
}

}  // namespace

std::string ThrowawayUser::WhyUnavailable() {
    if (geteuid() != 0) return "making test accounts needs root";
    for (const char* program : {kUserAdd, kUserDel}) {
        if (access(program, X_OK) != 0)
            return std::string(program) + " is missing (Debian: passwd)";
    }
    return "";
}

std::unique_ptr<ThrowawayUser> ThrowawayUser::Create(const std::string& tag, std::string& error) {
    std::string name = kNamePrefix + std::to_string(getpid()) + tag;
    std::string output;
    int exitCode =
        RunWithLockRetries(kUserAdd,
                           {"--no-create-home", "--user-group", "--shell", "/usr/sbin/nologin",
                            "--comment", "Mossvane test account", name},
                           output);
    passwd* record = getpwnam(name.c_str());
    if (exitCode != 0 || record == nullptr) {
        error = "useradd " + name + " failed (" + std::to_string(exitCode) + "): " + output;
        return nullptr;
    }
    return std::unique_ptr<ThrowawayUser>(new ThrowawayUser(name, record->pw_uid, record->pw_gid));
}

std::string ThrowawayUser::SetPassword(const std::string& password) const {
    std::string output;
    std::string line = m_name + ":" + password;
    int exitCode =
        RunWithLockRetries(kShell, {"-c", "echo '" + line + "' | /usr/sbin/chpasswd"}, output);
    return exitCode == 0 ? "" : "chpasswd failed: " + output;
}

ThrowawayUser::~ThrowawayUser() {
    std::string output;
    RunWithLockRetries(kUserDel, {m_name}, output);
}

void ThrowawayUser::RemoveLeftovers() {
    std::regex ours(std::string("^") + kNamePrefix + "([0-9]+)[a-z]+$");
    std::vector<std::string> stale;
    setpwent();
    while (passwd* record = getpwent()) {
        std::cmatch match;
        std::string name = record->pw_name;
        if (std::regex_match(record->pw_name, match, ours) &&
            ProcessIsGone(static_cast<pid_t>(std::stol(match[1])))) {
            stale.push_back(name);
        }
    }
    endpwent();
    for (const std::string& name : stale) {
        std::string output;
        RunWithLockRetries(kUserDel, {name}, output);
    }
}

}  // namespace mossvane::cups::test
