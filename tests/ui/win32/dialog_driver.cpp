// Drives the Windows dialogs with window messages from the test's thread.
#include "dialog_driver.h"

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/win32/windows_include.h"
#include "ui/dialog_constants.h"

namespace mossvane::test {
namespace {

using platform::win32::Wide;

constexpr auto kDeadline = std::chrono::seconds(30);
constexpr auto kPollInterval = std::chrono::milliseconds(50);
constexpr wchar_t kDialogClass[] = L"#32770";

HWND FindDialog(const std::u16string& title) {
    const HWND window = FindWindowW(kDialogClass, Wide(title.c_str()));
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

HWND AsWindow(std::uintptr_t window) {
    return reinterpret_cast<HWND>(window);
}

// Posted, not sent: OK may open a message box whose modal loop would keep a
// sent message from returning.
bool Click(HWND dialog, int buttonId) {
    const HWND button = GetDlgItem(dialog, buttonId);
    return button != nullptr && PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

// Key presses go to the foreground window's focus, so they are sent only
// once the window is there.
bool WaitForForeground(HWND window) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (window != nullptr && std::chrono::steady_clock::now() < deadline) {
        if (GetForegroundWindow() == window) return true;
        std::this_thread::sleep_for(kPollInterval);
    }
    return false;
}

INPUT KeyInput(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// One key press and release through the system's input queue, with Shift
// where the keyboard layout needs it.
bool PressKey(WORD virtualKey, bool shift) {
    std::vector<INPUT> inputs;
    if (shift) inputs.push_back(KeyInput(VK_SHIFT, false));
    inputs.push_back(KeyInput(virtualKey, false));
    inputs.push_back(KeyInput(virtualKey, true));
    if (shift) inputs.push_back(KeyInput(VK_SHIFT, true));
    const UINT count = static_cast<UINT>(inputs.size());
    return SendInput(count, inputs.data(), sizeof(INPUT)) == count;
}

// A character the layout has no key for is typed as a Unicode packet, one
// per UTF-16 unit, as input methods do.
bool TypeUnit(char16_t unit) {
    INPUT inputs[2] = {};
    for (int i = 0; i < 2; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wScan = unit;
        inputs[i].ki.dwFlags = KEYEVENTF_UNICODE | (i == 1 ? KEYEVENTF_KEYUP : 0);
    }
    return SendInput(2, inputs, sizeof(INPUT)) == 2;
}

}  // namespace

bool DialogDriver::TypeKeys(const std::u16string& text) {
    if (!WaitForForeground(AsWindow(m_window))) return false;
    for (char16_t unit : text) {
        const SHORT key = unit < 0x80 ? VkKeyScanW(static_cast<wchar_t>(unit)) : -1;
        const bool typed =
            key != -1 ? PressKey(LOBYTE(key), (HIBYTE(key) & 1) != 0) : TypeUnit(unit);
        if (!typed) return false;
    }
    return true;
}

bool DialogDriver::PressEnterIn(const std::u16string& title) {
    return WaitForForeground(FindDialog(title)) && PressKey(VK_RETURN, false);
}

bool DialogDriver::DisplayAvailable() {
    // Without a display Wine can't create any window at all.
    const HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    return true;
}

bool DialogDriver::WaitForWindow(const std::u16string& title) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (std::chrono::steady_clock::now() < deadline) {
        const HWND window = FindDialog(title);
        m_window = reinterpret_cast<std::uintptr_t>(window);
        if (window != nullptr) return true;
        std::this_thread::sleep_for(kPollInterval);
    }
    return false;
}

bool DialogDriver::IsOpen() {
    return m_window != 0 && IsWindow(AsWindow(m_window));
}

bool DialogDriver::IsShown(const std::u16string& title) {
    return FindDialog(title) != nullptr;
}

int DialogDriver::CountShown(const std::u16string& title) {
    struct Search {
        const std::u16string* title;
        int count;
    } search{&title, 0};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* search = reinterpret_cast<Search*>(context);
            wchar_t className[16] = {};
            wchar_t text[256] = {};
            GetClassNameW(window, className, 16);
            GetWindowTextW(window, text, 256);
            if (IsWindowVisible(window) && std::wstring(className) == kDialogClass &&
                std::u16string(reinterpret_cast<const char16_t*>(text)) == *search->title) {
                ++search->count;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.count;
}

bool DialogDriver::EnterNumber(const std::u16string& text) {
    return SetDlgItemTextW(AsWindow(m_window), kNumberBoxId, Wide(text.c_str())) != FALSE;
}

std::optional<std::u16string> DialogDriver::ControlText(int id) {
    std::array<char16_t, 512> buffer{};
    const HWND control = id == 0 ? AsWindow(m_window) : GetDlgItem(AsWindow(m_window), id);
    if (control == nullptr) return std::nullopt;
    const int length = GetWindowTextW(control, reinterpret_cast<wchar_t*>(buffer.data()),
                                      static_cast<int>(buffer.size()));
    return std::u16string(buffer.data(), length > 0 ? length : 0);
}

bool DialogDriver::PressOk() {
    return Click(AsWindow(m_window), IDOK);
}
bool DialogDriver::PressCancel() {
    return Click(AsWindow(m_window), IDCANCEL);
}

bool DialogDriver::ConfirmMessageBox(const std::u16string& title) {
    const HWND box = FindDialog(title);
    return box != nullptr && Click(box, IDOK);
}

}  // namespace mossvane::test
