#include "ui/win32/foreground.h"

namespace mossvane {
namespace {

LONG Width(const RECT& rect) {
    return rect.right - rect.left;
}
LONG Height(const RECT& rect) {
    return rect.bottom - rect.top;
}

// Moves `left`/`top` so a window of the given size lies inside `area`; the
// left and top edges are applied last so they win on a too-small area.
void KeepInside(const RECT& area, LONG width, LONG height, LONG& left, LONG& top) {
    if (left + width > area.right) left = area.right - width;
    if (top + height > area.bottom) top = area.bottom - height;
    if (left < area.left) left = area.left;
    if (top < area.top) top = area.top;
}

// The system refuses SetForegroundWindow to a background process while the
// foreground lock time-out runs; setting it to zero for the two calls lets
// the dialog through, and the user's value is put back at once. A value that
// can't be read can't be put back, so then the time-out is left alone.
void ForceWithoutLockTimeout(HWND target) {
    DWORD timeout = 0;
    const bool read = SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0) != FALSE;
    if (read) SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, SPIF_SENDCHANGE);
    BringWindowToTop(target);
    SetForegroundWindow(target);
    if (!read) return;
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                          reinterpret_cast<void*>(static_cast<ULONG_PTR>(timeout)),
                          SPIF_SENDCHANGE);
}

}  // namespace

void CenterDialog(HWND dialog) {
    RECT dialogRect{};
    if (!GetWindowRect(dialog, &dialogRect)) return;
    const HWND owner = GetWindow(dialog, GW_OWNER);
    const bool overOwner = owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner);

    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const HMONITOR nearest =
        MonitorFromWindow(overOwner ? owner : dialog, MONITOR_DEFAULTTONEAREST);
    if (!GetMonitorInfoW(nearest, &monitor)) return;
    RECT around = monitor.rcWork;
    if (overOwner) GetWindowRect(owner, &around);

    const LONG width = Width(dialogRect);
    const LONG height = Height(dialogRect);
    LONG left = around.left + (Width(around) - width) / 2;
    LONG top = around.top + (Height(around) - height) / 2;
    KeepInside(monitor.rcWork, width, height, left, top);
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void BringToForeground(HWND target, HWND dialog) {
    const HWND window = target != nullptr ? target : dialog;
    const HWND foreground = GetForegroundWindow();
    if (foreground == window) return;

    const DWORD foregroundThread = GetWindowThreadProcessId(foreground, nullptr);
    const DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
    AttachThreadInput(foregroundThread, windowThread, TRUE);
    SetForegroundWindow(window);
    BringWindowToTop(window);
    const bool isForeground = GetForegroundWindow() == window;
    AttachThreadInput(foregroundThread, windowThread, FALSE);

    if (!isForeground) ForceWithoutLockTimeout(window);
}

}  // namespace mossvane
