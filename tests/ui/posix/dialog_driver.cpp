// Drives the GTK dialog helper's windows with xdotool.
#include "dialog_driver.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

extern char** environ;

namespace mossvane::test {
namespace {

constexpr auto kDeadline = std::chrono::seconds(30);
constexpr auto kPollInterval = std::chrono::milliseconds(50);

// Runs xdotool once; its exit status, with what it printed in `output`.
int RunXdotoolOnce(std::vector<std::string> arguments, std::string& output) {
    arguments.insert(arguments.begin(), "xdotool");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return -1;
    platform::posix::UniqueFd readEnd(pipeEnds[0]);
    platform::posix::UniqueFd writeEnd(pipeEnds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, readEnd.Get());
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "xdotool", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.Reset();
    if (spawned != 0) return -1;

    output.clear();
    char chunk[256];
    for (ssize_t n; (n = read(readEnd.Get(), chunk, sizeof chunk)) > 0;) output.append(chunk, n);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs xdotool with `arguments`; true when it exits with 0. What it prints
// goes to `output`. A busy X server now and then refuses a connection: such
// a call did nothing and is made again.
bool RunXdotool(std::vector<std::string> arguments, std::string* output = nullptr) {
    std::string text;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (RunXdotoolOnce(arguments, text) == 0) {
            if (output != nullptr) *output = text;
            return true;
        }
        if (text.find("open display") == std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

// The first window whose title matches `title` exactly, or 0.
std::uintptr_t FindWindow(const std::u16string& title) {
    std::string output;
    const std::string pattern = "^" + platform::Utf16ToUtf8(title) + "$";
    if (!RunXdotool({"search", "--name", pattern}, &output)) return 0;
    return std::strtoull(output.c_str(), nullptr, 10);
}

// A window is found by its title before it is mapped, and can't take the
// focus until it is; a slow helper (under a sanitizer, say) shows that gap.
bool Focus(std::uintptr_t window) {
    if (window == 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    do {
        if (RunXdotool({"windowfocus", "--sync", std::to_string(window)})) return true;
        std::this_thread::sleep_for(kPollInterval);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

bool Key(std::uintptr_t window, const char* key) {
    return Focus(window) && RunXdotool({"key", "--clearmodifiers", key});
}

}  // namespace

bool DialogDriver::DisplayAvailable() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && display[0] != '\0';
}

bool DialogDriver::WaitForWindow(const std::u16string& title) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (std::chrono::steady_clock::now() < deadline) {
        m_window = FindWindow(title);
        if (m_window != 0) return true;
        std::this_thread::sleep_for(kPollInterval);
    }
    return false;
}

bool DialogDriver::IsShown(const std::u16string& title) {
    return FindWindow(title) != 0;
}

bool DialogDriver::EnterNumber(const std::u16string& text) {
    return Focus(m_window) && RunXdotool({"type", platform::Utf16ToUtf8(text)});
}

// Without a window manager the focus is wherever xdotool puts it; the keys
// then go through X's focus like anyone's typing.
bool DialogDriver::TypeKeys(const std::u16string& text) {
    return Focus(m_window) && RunXdotool({"type", platform::Utf16ToUtf8(text)});
}

bool DialogDriver::PressEnterIn(const std::u16string& title) {
    return Key(FindWindow(title), "Return");
}

int DialogDriver::CountShown(const std::u16string& title) {
    std::string output;
    const std::string pattern = "^" + platform::Utf16ToUtf8(title) + "$";
    if (!RunXdotool({"search", "--onlyvisible", "--name", pattern}, &output)) return 0;
    int count = 0;
    for (char c : output) count += c == '\n' ? 1 : 0;
    return count;
}

bool DialogDriver::IsOpen() {
    return m_window != 0 && RunXdotool({"getwindowname", std::to_string(m_window)});
}

std::optional<std::u16string> DialogDriver::ControlText(int /*id*/) {
    return std::nullopt;
}

bool DialogDriver::PressOk() {
    return Key(m_window, "Return");
}
bool DialogDriver::PressCancel() {
    return Key(m_window, "Escape");
}

bool DialogDriver::ConfirmMessageBox(const std::u16string& title) {
    return Key(FindWindow(title), "Return");
}

}  // namespace mossvane::test
