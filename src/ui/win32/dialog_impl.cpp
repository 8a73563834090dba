#include "ui/win32/dialog_impl.h"

namespace mossvane {
namespace {

// The module this code is linked into, so the template is found in the
// program's own resources whoever started the process.
HINSTANCE OwnModule() {
    HMODULE module = nullptr;
    const DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&OwnModule), &module)) {
        return GetModuleHandleW(nullptr);
    }
    return module;
}

// Messages whose result is the dialog procedure's return value rather than
// DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
        case WM_INITDIALOG:
        case WM_COMPAREITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::int32_t DialogImpl::DoModal(HWND owner, std::int32_t templateId) {
    const INT_PTR code = DialogBoxParamW(OwnModule(), MAKEINTRESOURCEW(templateId), owner,
                                         &DialogImpl::DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    // 0 means an unusable owner: the dialog never showed, like -1.
    if (code <= 0) return -1;
    return static_cast<std::int32_t>(code);
}

void DialogImpl::SetWindowIcons(int iconId) {
    // Shared icons belong to the system's cache and are never destroyed by
    // the program, so the window may keep them for its whole life.
    const auto load = [iconId](int widthMetric, int heightMetric) {
        return reinterpret_cast<LPARAM>(LoadImageW(OwnModule(), MAKEINTRESOURCEW(iconId),
                                                   IMAGE_ICON, GetSystemMetrics(widthMetric),
                                                   GetSystemMetrics(heightMetric), LR_SHARED));
    };
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, load(SM_CXICON, SM_CYICON));
    SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, load(SM_CXSMICON, SM_CYSMICON));
}

INT_PTR CALLBACK DialogImpl::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<DialogImpl*>(lParam)->m_hWnd = window;
    }
    auto* dialog = reinterpret_cast<DialogImpl*>(GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    // Nothing may unwind into the system's dialog manager.
    try {
        return dialog->Dispatch(message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

INT_PTR DialogImpl::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!ProcessWindowMessage(m_hWnd, message, wParam, lParam, result, 0)) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace mossvane
