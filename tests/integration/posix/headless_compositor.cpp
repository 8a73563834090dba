#include "posix/headless_compositor.h"

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "server_harness.h"

namespace mossvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTools[] = {"sway", "swaymsg", "wtype", "setpriv"};
// swaymsg and wtype return at once on a working compositor; the bound only
// keeps a hung one from hanging the test.
constexpr char kToolTimeout[] = "timeout 30 ";
constexpr auto kReadyTimeout = 60s;

bool OnPath(const std::string& tool) {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    for (std::string folder; std::getline(path, folder, ':');) {
        if (access((fs::path(folder) / tool).c_str(), X_OK) == 0) return true;
    }
    return false;
}

std::string Quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs a shell command line; its standard output, or nothing when it fails.
std::optional<std::string> Run(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string output;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, got);
    }
    const int status = pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return output;
}

// The compositor refuses to run as root, and a user id with no account
// needs no account to be removed afterwards: one unused id per test run.
uid_t UnusedUserId() {
    uid_t id = 2000000000u + static_cast<uid_t>(getpid());
    while (getpwuid(id) != nullptr) ++id;
    return id;
}

std::optional<std::string> FindSocket(const std::string& folder, const std::string& prefix,
                                      const std::string& suffix) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            entry.is_socket(error)) {
            return entry.path().string();
        }
    }
    return std::nullopt;
}

std::size_t SkipSpaces(const std::string& text, std::size_t at) {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    return at;
}

// The position of `"key": value` where value starts, searching from `from`.
std::size_t FindValue(const std::string& text, const std::string& key, std::size_t from) {
    const std::string quotedKey = "\"" + key + "\"";
    for (std::size_t at = text.find(quotedKey, from); at != std::string::npos;
         at = text.find(quotedKey, at + 1)) {
        std::size_t colon = SkipSpaces(text, at + quotedKey.size());
        if (colon < text.size() && text[colon] == ':') return SkipSpaces(text, colon + 1);
    }
    return std::string::npos;
}

// The object around position `inside`, braces matched (the tree's strings
// that matter here, titles and names, hold no braces).
std::string EnclosingObject(const std::string& text, std::size_t inside) {
    int depth = 0;
    std::size_t open = inside;
    for (; open > 0; --open) {
        if (text[open] == '}') ++depth;
        if (text[open] == '{' && depth-- == 0) break;
    }
    depth = 0;
    for (std::size_t close = open; close < text.size(); ++close) {
        if (text[close] == '{') ++depth;
        if (text[close] == '}' && --depth == 0) return text.substr(open, close - open + 1);
    }
    return {};
}

std::optional<int> IntegerAfter(const std::string& text, const std::string& key, std::size_t from) {
    const std::size_t at = FindValue(text, key, from);
    if (at == std::string::npos) return std::nullopt;
    try {
        return std::stoi(text.substr(at, 12));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<Rect> ParseRect(const std::string& node) {
    const std::size_t rect = FindValue(node, "rect", 0);
    if (rect == std::string::npos || node[rect] != '{') return std::nullopt;
    auto x = IntegerAfter(node, "x", rect);
    auto y = IntegerAfter(node, "y", rect);
    auto width = IntegerAfter(node, "width", rect);
    auto height = IntegerAfter(node, "height", rect);
    if (!x || !y || !width || !height) return std::nullopt;
    return Rect{*x, *y, *width, *height};
}

std::unique_ptr<HeadlessCompositor> HeadlessCompositor::Start(int width, int height,
                                                              std::string& whyNot) {
    for (const char* tool : kTools) {
        if (!OnPath(tool)) {
            whyNot = std::string(tool) + " is not installed";
            return nullptr;
        }
    }
    std::unique_ptr<HeadlessCompositor> compositor(new HeadlessCompositor);
    std::string folderTemplate = (fs::temp_directory_path() / "mossvane-wayland-XXXXXX").string();
    if (mkdtemp(folderTemplate.data()) == nullptr) {
        whyNot = "no temporary folder";
        return nullptr;
    }
    compositor->m_folder = folderTemplate;
    const fs::path config = fs::path(compositor->m_folder) / "config";
    // No Xwayland: the dialog must come up as a Wayland client or not at all.
    std::ofstream(config) << "xwayland disable\n"
                          << "output HEADLESS-1 resolution " << width << "x" << height << "\n";
    const uid_t user = UnusedUserId();
    if (chown(compositor->m_folder.c_str(), user, user) != 0 ||
        chown(config.c_str(), user, user) != 0) {
        whyNot = "cannot hand the compositor's folder to user id " + std::to_string(user);
        return nullptr;
    }
    const std::string id = std::to_string(user);
    compositor->m_process = ChildProcess::Start(
        "/usr/bin/env",
        {"-i", "PATH=/usr/bin:/bin", "HOME=" + compositor->m_folder,
         "XDG_RUNTIME_DIR=" + compositor->m_folder, "WLR_BACKENDS=headless",
         "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "setpriv", "--reuid=" + id,
         "--regid=" + id, "--clear-groups", "sway", "-c", config.string()},
        compositor->m_folder);
    if (!compositor->m_process || !compositor->WaitUntilReady(kReadyTimeout)) {
        whyNot = "sway did not start:\n" + compositor->Log();
        return nullptr;
    }
    if (!compositor->AttachKeyboard(kReadyTimeout)) {
        whyNot = "no virtual keyboard on sway:\n" + compositor->Log();
        return nullptr;
    }
    return compositor;
}

HeadlessCompositor::~HeadlessCompositor() {
    if (m_typist) m_typist->Kill();
    if (m_keyboard) m_keyboard->Kill();
    if (m_process) m_process->Kill();
    std::error_code ignored;
    if (!m_folder.empty()) fs::remove_all(m_folder, ignored);
}

std::string HeadlessCompositor::Log() const {
    return m_process ? m_process->StandardOutput() + m_process->DebugOutput() : std::string();
}

bool HeadlessCompositor::WaitUntilReady(std::chrono::milliseconds timeout) {
    bool ended = false;
    WaitUntil(
        [&] {
            int exitCode = 0;
            if (m_process->WaitForExit(0ms, exitCode)) return ended = true;
            auto wayland = FindSocket(m_folder, "wayland-", "");
            auto ipc = FindSocket(m_folder, "sway-ipc.", ".sock");
            if (!wayland || !ipc) return false;
            m_waylandDisplay = *wayland;
            m_ipcSocket = *ipc;
            return Message({"-t", "get_outputs"}).has_value();
        },
        timeout);
    return !ended && !m_ipcSocket.empty() && Message({"-t", "get_outputs"}).has_value();
}

// A seat without a keyboard gives clients none: a keyboard that comes and
// goes with each typing tool would race the dialog setting up its own, and
// the first keys would be lost. One virtual keyboard stays for the whole run.
bool HeadlessCompositor::AttachKeyboard(std::chrono::milliseconds timeout) {
    m_keyboard = ChildProcess::Start(
        "/usr/bin/env", {"WAYLAND_DISPLAY=" + m_waylandDisplay, "wtype", "-s", "86400000"},
        m_folder);
    if (!m_keyboard) return false;
    return WaitUntil(
        [&] {
            auto seats = Message({"-t", "get_seats"});
            return seats && seats->find("virtual_keyboard") != std::string::npos;
        },
        timeout);
}

std::optional<std::string> HeadlessCompositor::Message(const std::vector<std::string>& arguments) {
    std::string command = kToolTimeout + std::string("swaymsg -s ") + Quote(m_ipcSocket);
    for (const std::string& argument : arguments) command += " " + Quote(argument);
    return Run(command + " 2>/dev/null");
}

std::optional<std::string> HeadlessCompositor::Tree() {
    return Message({"-t", "get_tree"});
}

std::optional<std::string> HeadlessCompositor::Window(const std::string& title) {
    auto tree = Tree();
    if (!tree) return std::nullopt;
    for (std::size_t at = FindValue(*tree, "name", 0); at != std::string::npos;
         at = FindValue(*tree, "name", at)) {
        if (tree->compare(at, title.size() + 2, "\"" + title + "\"") == 0) {
            return EnclosingObject(*tree, at);
        }
    }
    return std::nullopt;
}

bool HeadlessCompositor::WaitForWindow(const std::string& title,
                                       std::chrono::milliseconds timeout) {
    return WaitUntil(
        [&] {
            return Window(title).has_value() &&
                   Message({"[title=\"" + title + "\"]", "focus"}).has_value();
        },
        timeout);
}

std::optional<Rect> HeadlessCompositor::OutputRect() {
    auto outputs = Message({"-t", "get_outputs"});
    if (!outputs) return std::nullopt;
    return ParseRect(*outputs);
}

bool HeadlessCompositor::WaitForFocus(const std::string& title, std::chrono::milliseconds timeout) {
    return WaitUntil(
        [&] {
            const auto window = Window(title);
            return window && window->find("\"focused\": true") != std::string::npos;
        },
        timeout);
}

bool HeadlessCompositor::Keys(const std::vector<std::string>& arguments) {
    if (m_typist) m_typist->Kill();
    std::vector<std::string> command{"WAYLAND_DISPLAY=" + m_waylandDisplay, "wtype"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    // wtype's layout holds only the keys it types, in order, and GTK 3 looks
    // up key bindings (Return, BackSpace) in every key of the layout but the
    // highest: a last key that does nothing keeps the real ones in reach.
    command.insert(command.end(), {"-k", "VoidSymbol"});
    // Held for a day: ended by the next input or the compositor's end.
    command.insert(command.end(), {"-s", "86400000"});
    m_typist = ChildProcess::Start("/usr/bin/env", command, m_folder);
    return m_typist != nullptr;
}

}  // namespace mossvane::testing
