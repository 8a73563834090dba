// COM in the multithreaded apartment and the common control classes the
// dialogs use. Neither result is examined: the program runs without them.
#include "platform/process_services.h"

#include "platform/win32/windows_include.h"

#include <commctrl.h>
#include <objbase.h>

namespace mossvane::platform {

namespace {

constexpr DWORD kCommonControlClasses = ICC_COOL_CLASSES | ICC_BAR_CLASSES;

}  // namespace

ProcessServices::ProcessServices() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), kCommonControlClasses};
    InitCommonControlsEx(&controls);
}

ProcessServices::~ProcessServices() {
    CoUninitialize();
}

}  // namespace mossvane::platform
