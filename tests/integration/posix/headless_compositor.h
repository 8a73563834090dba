// A Wayland compositor with no screen and no input devices, for driving the
// dialog as a Wayland user would: windows are found and measured through the
// compositor's own IPC, keys come in through its virtual-keyboard protocol.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace mossvane::testing {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class HeadlessCompositor {
  public:
    ~HeadlessCompositor();
    HeadlessCompositor(const HeadlessCompositor&) = delete;
    HeadlessCompositor& operator=(const HeadlessCompositor&) = delete;

    // Starts the compositor with one output of width x height and waits
    // until it takes clients. Null, with the reason in whyNot, when it
    // cannot run on this machine.
    static std::unique_ptr<HeadlessCompositor> Start(int width, int height, std::string& whyNot);

    // The socket's full path, for WAYLAND_DISPLAY.
    const std::string& WaylandDisplay() const { return m_waylandDisplay; }

    // The compositor's own log.
    std::string Log() const;

    // The window titled `title`, as the compositor's tree describes it
    // (one JSON object), or nothing while no such window is mapped.
    std::optional<std::string> Window(const std::string& title);
    // Waits until a window titled `title` is mapped and gives it the focus.
    bool WaitForWindow(const std::string& title, std::chrono::milliseconds timeout);
    std::optional<Rect> OutputRect();

    // Waits until a window titled `title` is mapped and has the focus.
    bool WaitForFocus(const std::string& title, std::chrono::milliseconds timeout);

    // Key input through a virtual keyboard of its own, into the focused
    // window: wtype's arguments, such as {"123", "-k", "Return"}. The
    // keyboard stays until the next input (or the compositor's end), since
    // GTK reads some keys (Return's binding) from the keyboard's layout when
    // it handles them, not when they arrive: the test waits for what the
    // keys do before it types on.
    bool Keys(const std::vector<std::string>& arguments);

  private:
    HeadlessCompositor() = default;

    bool WaitUntilReady(std::chrono::milliseconds timeout);
    bool AttachKeyboard(std::chrono::milliseconds timeout);
    // Runs swaymsg with the arguments; its output, or nothing on failure.
    std::optional<std::string> Message(const std::vector<std::string>& arguments);
    std::optional<std::string> Tree();

    std::string m_folder;
    std::string m_waylandDisplay;
    std::string m_ipcSocket;
    std::unique_ptr<ChildProcess> m_process;
    std::unique_ptr<ChildProcess> m_keyboard;
    std::unique_ptr<ChildProcess> m_typist;
};

// The rect of the JSON object `node` (its own, not a child's).
std::optional<Rect> ParseRect(const std::string& node);

}  // namespace mossvane::testing
