// Drives the program's dialog windows from a test, the way a user would:
// xdotool on X11, window messages on Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mossvane::test {

class DialogDriver {
  public:
    // Whether windows can be shown here at all.
    static bool DisplayAvailable();

    // Waits (with a generous deadline) until a window titled `title` shows
    // and makes it the driven window. False at the deadline.
    bool WaitForWindow(const std::u16string& title);
    // Whether a window titled `title` is shown right now.
    bool IsShown(const std::u16string& title);
    // How many windows titled `title` are shown right now.
    int CountShown(const std::u16string& title);
    // Whether the driven window still exists.
    bool IsOpen();

    // Enters `text` into the number box of the driven dialog, as typed or
    // pasted input.
    bool EnterNumber(const std::u16string& text);
    // The text of control `id` of the driven dialog, where the platform lets
    // a test read it (not on X11).
    std::optional<std::u16string> ControlText(int id);

    // Key presses as the user makes them, through the window system's
    // keyboard focus: `text` typed into whatever control of the driven
    // dialog has the focus, once the dialog is in front.
    bool TypeKeys(const std::u16string& text);
    // The Enter key, once the window titled `title` is in front.
    bool PressEnterIn(const std::u16string& title);

    // OK (Enter) and Cancel (Escape) in the driven dialog.
    bool PressOk();
    bool PressCancel();
    // Confirms the message box titled `title`.
    bool ConfirmMessageBox(const std::u16string& title);

  private:
    std::uintptr_t m_window = 0;
};

}  // namespace mossvane::test
