#include "ui/win32/companion_driver.h"

#include "platform/win32/windows_include.h"

#include <shobjidl.h>

#include <array>
#include <string>

#include "l10n/l10n_constants.h"
#include "l10n/plug_in_settings.h"
#include "ui/os_version_code.h"
#include "ui/win32/com_ptr.h"

namespace mossvane {
namespace {

constexpr wchar_t kShellLibrary[] = L"SHELL32.dll";
constexpr char kCreateItemExport[] = "SHCreateItemFromParsingName";
constexpr wchar_t kDefaultDriverBelowWindows[] =
    L"\\System32\\spool\\drivers\\w32x86\\3\\walvex1dp.exe";

constexpr GUID kIidShellItem{
    0x43826D1E, 0xE718, 0x42EE, {0xBC, 0x55, 0xA1, 0xE2, 0x61, 0xC3, 0x7B, 0xFE}};
constexpr GUID kClsidStartMenuPin{
    0xA2A9545D, 0xA0C2, 0x42B4, {0x97, 0x08, 0xA0, 0xB2, 0xBA, 0xDD, 0x77, 0xC8}};
constexpr GUID kIidStartMenuPinnedList{
    0x4CD19ADA, 0x25A5, 0x4A32, {0xB3, 0xB7, 0x34, 0x7B, 0xEE, 0x5B, 0xE3, 0x6B}};

using CreateItemFunction = HRESULT(WINAPI*)(PCWSTR, IBindCtx*, REFIID, void**);

// A library loaded by name that unloads itself.
class LoadedLibrary {
  public:
    explicit LoadedLibrary(const wchar_t* name) : m_module(LoadLibraryW(name)) {}
    ~LoadedLibrary() {
        if (m_module != nullptr) FreeLibrary(m_module);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    HMODULE Get() const { return m_module; }

  private:
    HMODULE m_module;
};

std::wstring CompanionDriverPath() {
    std::u16string configured;
    if (ReadPlugInMachineValue(u"", configured) == 0 && !configured.empty()) {
        return platform::win32::WideString(configured);
    }
    std::array<wchar_t, l10n::kMaxPathChars> windows{};
    const UINT length = GetSystemWindowsDirectoryW(windows.data(), l10n::kMaxPathChars);
    if (length == 0 || length >= l10n::kMaxPathChars) return {};
    return std::wstring(windows.data(), length) + kDefaultDriverBelowWindows;
}

void RemoveFromPinnedList(CreateItemFunction createItem, const std::wstring& path) {
    ComPtr<IShellItem> item;
    if (FAILED(createItem(path.c_str(), nullptr, kIidShellItem, item.Receive()))) return;
    ComPtr<IStartMenuPinnedList> pinnedList;
    if (FAILED(CoCreateInstance(kClsidStartMenuPin, nullptr, CLSCTX_INPROC_SERVER,
                                kIidStartMenuPinnedList, pinnedList.Receive()))) {
        return;
    }
    pinnedList->RemoveFromList(item.Get());
}

bool QueryVersion(OSVERSIONINFOEXW& version) {
    version = {};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) return true;
    version = {};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)) != FALSE;
}

}  // namespace

std::int32_t GetOsVersionCode() {
    OSVERSIONINFOEXW version;
    if (!QueryVersion(version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        return kOsVersionCodeUnknown;
    }
    return OsVersionCode(version.dwMajorVersion, version.dwMinorVersion);
}

void UnpinCompanionDriver() {
    const std::wstring path = CompanionDriverPath();
    if (GetOsVersionCode() < kOsVersionCodeWithPinnedList) return;
    LoadedLibrary shell(kShellLibrary);
    if (shell.Get() == nullptr) return;
    const auto createItem = reinterpret_cast<CreateItemFunction>(
        reinterpret_cast<void*>(GetProcAddress(shell.Get(), kCreateItemExport)));
    if (createItem == nullptr) return;
    RemoveFromPinnedList(createItem, path);
}

}  // namespace mossvane
