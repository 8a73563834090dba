// A stand-in for the companion access-control program's dialog: a top-level
// window of the test with a given title, and a second window of the test
// that holds the focus until someone brings the dialog forward. An X11
// window on POSIX, a standard dialog ("#32770") on Windows.
#pragma once

#include <memory>
#include <string>

namespace mossvane::testing {

class CompanionWindow {
  public:
    virtual ~CompanionWindow() = default;

    // Shows the dialog and gives the focus to the other window. Null when
    // there is no display.
    static std::unique_ptr<CompanionWindow> Open(const std::string& title);

    // Whether the dialog is the foreground (focused) window now.
    virtual bool IsForeground() const = 0;
};

}  // namespace mossvane::testing
