// Companion windows on POSIX stand in for FindWindowW and SetForegroundWindow
// with X11: the window is looked for by title in the window manager's
// _NET_CLIENT_LIST (or, with no window manager, among the root's children)
// and activated with a _NET_ACTIVE_WINDOW request, or raised and focused
// when no window manager takes such requests.
//
// libX11 is loaded when it is needed, not linked: the server runs on
// machines without a display or X libraries (a print server), where the
// companion dialog can't exist and is simply not found.
#include "platform/companion_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/utf8.h"

namespace mossvane::platform {

namespace {

constexpr char kLibraryName[] = "libX11.so.6";

// The source indication of a _NET_ACTIVE_WINDOW request from a pager or
// task switcher, which window managers honour without focus-stealing checks:
// bringing another program's dialog forward is what a task switcher does.
constexpr long kActivationFromPager = 2;

struct Xlib {
    decltype(&XOpenDisplay) openDisplay = nullptr;
    decltype(&XCloseDisplay) closeDisplay = nullptr;
    decltype(&XInternAtom) internAtom = nullptr;
    decltype(&XGetWindowProperty) getWindowProperty = nullptr;
    decltype(&XFree) free = nullptr;
    decltype(&XQueryTree) queryTree = nullptr;
    decltype(&XSendEvent) sendEvent = nullptr;
    decltype(&XRaiseWindow) raiseWindow = nullptr;
    decltype(&XSetInputFocus) setInputFocus = nullptr;
    decltype(&XSync) sync = nullptr;
    decltype(&XSetErrorHandler) setErrorHandler = nullptr;
};

class LoadedXlib {
  public:
    // Kept in memory after the close: libX11 and libxcb keep thread-local
    // keys that must not outlive their code.
    LoadedXlib() : m_handle(dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
        if (m_handle == nullptr) return;
        m_complete = Find(m_functions.openDisplay, "XOpenDisplay") &&
                     Find(m_functions.closeDisplay, "XCloseDisplay") &&
                     Find(m_functions.internAtom, "XInternAtom") &&
                     Find(m_functions.getWindowProperty, "XGetWindowProperty") &&
                     Find(m_functions.free, "XFree") && Find(m_functions.queryTree, "XQueryTree") &&
                     Find(m_functions.sendEvent, "XSendEvent") &&
                     Find(m_functions.raiseWindow, "XRaiseWindow") &&
                     Find(m_functions.setInputFocus, "XSetInputFocus") &&
                     Find(m_functions.sync, "XSync") &&
                     Find(m_functions.setErrorHandler, "XSetErrorHandler");
    }
    ~LoadedXlib() {
        if (m_handle != nullptr) dlclose(m_handle);
    }
    LoadedXlib(const LoadedXlib&) = delete;
    LoadedXlib& operator=(const LoadedXlib&) = delete;

    const Xlib* Functions() const { return m_complete ? &m_functions : nullptr; }

  private:
    template <typename Function>
    bool Find(Function& function, const char* name) {
        function = reinterpret_cast<Function>(dlsym(m_handle, name));
        return function != nullptr;
    }

    void* m_handle;
    Xlib m_functions;
    bool m_complete = false;
};

class DisplayConnection {
  public:
    explicit DisplayConnection(const Xlib& x) : m_x(x), m_display(x.openDisplay(nullptr)) {}
    ~DisplayConnection() {
        if (m_display != nullptr) m_x.closeDisplay(m_display);
    }
    DisplayConnection(const DisplayConnection&) = delete;
    DisplayConnection& operator=(const DisplayConnection&) = delete;

    Display* Get() const { return m_display; }

  private:
    const Xlib& m_x;
    Display* m_display;
};

// Records the X errors of the requests made while it lives, instead of
// Xlib's default handler, which ends the process.
class ErrorTrap {
  public:
    explicit ErrorTrap(const Xlib& x) : m_x(x) {
        s_errors = 0;
        m_previous = x.setErrorHandler(&Count);
    }
    ~ErrorTrap() { m_x.setErrorHandler(m_previous); }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    bool Caught() const { return s_errors != 0; }
    void Reset() { s_errors = 0; }

  private:
    static int Count(Display*, XErrorEvent*) {
        ++s_errors;
        return 0;
    }

    // The verbs run on the main thread before any other thread exists.
    static inline int s_errors = 0;
    const Xlib& m_x;
    XErrorHandler m_previous = nullptr;
};

// A window property's items, of the given type and 32-bit format (which
// Xlib hands out as longs), or the bytes of an 8-bit property.
struct Property {
    Atom type = None;
    int format = 0;
    std::vector<unsigned char> bytes;
    std::vector<unsigned long> items;
};

std::optional<Property> ReadProperty(const Xlib& x, Display* display, Window window, Atom name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (x.getWindowProperty(display, window, name, 0, 0x10000, False, AnyPropertyType, &type,
                            &format, &count, &remaining, &data) != Success) {
        return std::nullopt;
    }
    if (type == None) {
        if (data != nullptr) x.free(data);
        return std::nullopt;
    }
    Property property;
    property.type = type;
    property.format = format;
    if (format == 32) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        property.items.assign(items, items + count);
    } else if (format == 8) {
        property.bytes.assign(data, data + count);
    }
    if (data != nullptr) x.free(data);
    return property;
}

class Desktop {
  public:
    Desktop(const Xlib& x, Display* display)
        : m_x(x), m_display(display), m_root(DefaultRootWindow(display)) {}

    std::vector<Window> TopLevelWindows() const {
        if (auto list = ReadProperty(m_x, m_display, m_root, Intern("_NET_CLIENT_LIST"))) {
            if (list->type == XA_WINDOW) return {list->items.begin(), list->items.end()};
        }
        std::vector<Window> windows;
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (m_x.queryTree(m_display, m_root, &root, &parent, &children, &count) == 0) {
            return windows;
        }
        windows.assign(children, children + count);
        if (children != nullptr) m_x.free(children);
        return windows;
    }

    // The title as UTF-8: _NET_WM_NAME, else WM_NAME (Latin-1 when of type
    // STRING).
    std::string Title(Window window) const {
        if (auto name = ReadProperty(m_x, m_display, window, Intern("_NET_WM_NAME"))) {
            if (name->format == 8) return {name->bytes.begin(), name->bytes.end()};
        }
        auto name = ReadProperty(m_x, m_display, window, XA_WM_NAME);
        if (!name || name->format != 8) return {};
        if (name->type != XA_STRING) return {name->bytes.begin(), name->bytes.end()};
        std::u16string latin1(name->bytes.begin(), name->bytes.end());
        return Utf16ToUtf8(latin1);
    }

    bool WindowManagerActivates() const {
        auto supported = ReadProperty(m_x, m_display, m_root, Intern("_NET_SUPPORTED"));
        if (!supported || supported->format != 32) return false;
        const Atom active = Intern("_NET_ACTIVE_WINDOW");
        for (unsigned long atom : supported->items) {
            if (atom == active) return true;
        }
        return false;
    }

    void Activate(Window window) const {
        if (WindowManagerActivates()) {
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = window;
            event.xclient.message_type = Intern("_NET_ACTIVE_WINDOW");
            event.xclient.format = 32;
            event.xclient.data.l[0] = kActivationFromPager;
            event.xclient.data.l[1] = CurrentTime;
            m_x.sendEvent(m_display, m_root, False,
                          SubstructureRedirectMask | SubstructureNotifyMask, &event);
        } else {
            m_x.raiseWindow(m_display, window);
            m_x.setInputFocus(m_display, window, RevertToParent, CurrentTime);
        }
    }

  private:
    Atom Intern(const char* name) const { return m_x.internAtom(m_display, name, False); }

    const Xlib& m_x;
    Display* m_display;
    Window m_root;
};

}  // namespace

ForegroundResult BringDialogToForeground(std::u16string_view title) {
    LoadedXlib library;
    const Xlib* x = library.Functions();
    if (x == nullptr) return ForegroundResult::NotFound;
    DisplayConnection display(*x);
    if (display.Get() == nullptr) return ForegroundResult::NotFound;

    ErrorTrap errors(*x);
    Desktop desktop(*x, display.Get());
    const std::string wanted = Utf16ToUtf8(title);
    for (Window window : desktop.TopLevelWindows()) {
        // A window that goes away while it is looked at is skipped.
        if (desktop.Title(window) != wanted) continue;
        errors.Reset();
        desktop.Activate(window);
        x->sync(display.Get(), False);
        return errors.Caught() ? ForegroundResult::Refused : ForegroundResult::Brought;
    }
    return ForegroundResult::NotFound;
}

}  // namespace mossvane::platform
