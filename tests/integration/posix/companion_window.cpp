// The companion dialog on X11: two plain top-level windows of the test's
// own display connection. There is no window manager under Xvfb, so the
// focus is plain X input focus.
#include "companion_window.h"

// Before Xlib, whose macros (None, Bool) would break GoogleTest's names.
#include "server_harness.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace mossvane::testing {

namespace {

class X11Companion : public CompanionWindow {
  public:
    explicit X11Companion(Display* display) : m_display(display) {}

    ~X11Companion() override { XCloseDisplay(m_display); }

    bool Show(const std::string& title) {
        m_dialog = MakeWindow(title);
        m_other = MakeWindow("Mossvane test bystander");
        if (!WaitUntilViewable(m_dialog) || !WaitUntilViewable(m_other)) return false;
        XSetInputFocus(m_display, m_other, RevertToParent, CurrentTime);
        XSync(m_display, False);
        return !IsForeground();
    }

    bool IsForeground() const override {
        Window focus = None;
        int revert = 0;
        XGetInputFocus(m_display, &focus, &revert);
        return focus == m_dialog;
    }

  private:
    Window MakeWindow(const std::string& title) {
        Window window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 10, 10, 200,
                                            80, 1, 0, 0xFFFFFF);
        XStoreName(m_display, window, title.c_str());
        const Atom utf8 = XInternAtom(m_display, "UTF8_STRING", False);
        XChangeProperty(m_display, window, XInternAtom(m_display, "_NET_WM_NAME", False), utf8, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                        static_cast<int>(title.size()));
        XMapWindow(m_display, window);
        XSync(m_display, False);
        return window;
    }

    bool WaitUntilViewable(Window window) {
        return WaitUntil(
            [&] {
                XWindowAttributes attributes{};
                XGetWindowAttributes(m_display, window, &attributes);
                return attributes.map_state == IsViewable;
            },
            kStartTimeout);
    }

    Display* m_display;
    Window m_dialog = None;
    Window m_other = None;
};

}  // namespace

std::unique_ptr<CompanionWindow> CompanionWindow::Open(const std::string& title) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;
    auto companion = std::make_unique<X11Companion>(display);
    if (!companion->Show(title)) return nullptr;
    return companion;
}

}  // namespace mossvane::testing
