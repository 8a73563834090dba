// Windows files of the job spool: the shell's known folders, CreateFileW
// with CREATE_NEW for job files, and MoveFileExW to put the information file
// in place.
#include "platform/spool_files.h"

// The shell's header after the program's settings for <windows.h>.
#include "platform/win32/windows_include.h"

#include <shlobj.h>

#include <algorithm>
#include <string>

#include "platform/file_replace.h"
#include "platform/system_info.h"
#include "platform/win32/unique_handle.h"
#include "platform/wipe.h"

namespace mossvane::platform {

using win32::UniqueHandle;

namespace {

// FOLDERID_RoamingAppData, spelled out so that no GUID library is needed.
constexpr GUID kRoamingAppDataId = {
    0x3EB685DB, 0x65F9, 0x4CF6, {0xA0, 0x3A, 0xE3, 0xEF, 0x65, 0x72, 0x9F, 0x3D}};

// Known-folder paths are taken up to this many characters.
constexpr std::size_t kMaxFolderChars = 259;

using GetKnownFolderPathFunction = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);

// Frees a shell-allocated text whatever happens after the call.
class CoTaskText {
  public:
    CoTaskText() = default;
    ~CoTaskText() { CoTaskMemFree(m_text); }
    CoTaskText(const CoTaskText&) = delete;
    CoTaskText& operator=(const CoTaskText&) = delete;
    PWSTR* Receive() { return &m_text; }
    PCWSTR Get() const { return m_text; }

  private:
    PWSTR m_text = nullptr;
};

std::u16string Bounded(const wchar_t* text) {
    std::u16string result(reinterpret_cast<const char16_t*>(text));
    if (result.size() > kMaxFolderChars) result.resize(kMaxFolderChars);
    return result;
}

// The shell is looked up among the modules already loaded, never loaded here.
ErrorCode RoamingAppDataFolder(std::u16string& folder) {
    const HMODULE shell = GetModuleHandleW(L"Shell32.dll");
    if (shell == nullptr) return kPathNotFound;
    const auto getKnownFolderPath = reinterpret_cast<GetKnownFolderPathFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(shell, "SHGetKnownFolderPath")));
    if (getKnownFolderPath == nullptr) return kSuccess;
    CoTaskText path;
    if (FAILED(getKnownFolderPath(kRoamingAppDataId, 0, nullptr, path.Receive())) ||
        path.Get() == nullptr) {
        return kSuccess;
    }
    folder = Bounded(path.Get());
    return kSuccess;
}

ErrorCode LocalAppDataFolder(std::u16string& folder) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path))) {
        return kPathNotFound;
    }
    folder = Bounded(path);
    return kSuccess;
}

ErrorCode LastErrorOr(ErrorCode fallback) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? static_cast<ErrorCode>(error) : fallback;
}

ErrorCode WriteAll(HANDLE file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, bytes, chunk, &written, nullptr)) return LastErrorOr(kWriteFault);
        if (written == 0) return kWriteFault;
        bytes += written;
        size -= written;
    }
    return kSuccess;
}

// What the C library's text mode writes for a text.
std::string WithCrLf(std::string_view text) {
    std::string out;
    // Exactly: a text that grew would leave its start in the freed block.
    out.reserve(text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
    for (const char c : text) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

}  // namespace

char16_t PathSeparator() {
    return u'\\';
}

ErrorCode GetUserDataFolder(std::u16string& folder) {
    folder.clear();
    return IsVistaOrLater() ? RoamingAppDataFolder(folder) : LocalAppDataFolder(folder);
}

ErrorCode backend::CreateFolder(std::u16string_view path) {
    const std::wstring widePath = win32::WideString(path);
    if (CreateDirectoryW(widePath.c_str(), nullptr)) return kSuccess;
    return LastErrorOr(kPathNotFound);
}

struct JobFile::Impl {
    UniqueHandle handle;
};

JobFile::JobFile() = default;
JobFile::~JobFile() = default;
JobFile::JobFile(JobFile&& other) noexcept = default;
JobFile& JobFile::operator=(JobFile&& other) noexcept = default;

ErrorCode JobFile::BackendCreateNew(std::u16string_view path, JobFile& file) {
    const std::wstring widePath = win32::WideString(path);
    UniqueHandle handle(CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.IsValid()) {
        const ErrorCode error = LastErrorOr(kAccessDenied);
        return error == ERROR_FILE_EXISTS ? kAlreadyExists : error;
    }
    file.m_impl = std::make_unique<Impl>();
    file.m_impl->handle = std::move(handle);
    return kSuccess;
}

bool JobFile::IsValid() const {
    return m_impl && m_impl->handle.IsValid();
}

void JobFile::Close() {
    m_impl.reset();
}

ErrorCode JobFile::BackendAppendAtEnd(const void* data, std::size_t size) {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(m_impl->handle.Get(), zero, nullptr, FILE_END)) {
        return LastErrorOr(kWriteFault);
    }
    return WriteAll(m_impl->handle.Get(), data, size);
}

// A job file is opened without FILE_SHARE_DELETE, so neither it nor its
// folder can be removed while it is written: flushing and closing is all.
ErrorCode JobFile::BackendFlushAndClose() {
    UniqueHandle handle = std::move(m_impl->handle);
    m_impl.reset();
    ErrorCode error = FlushFileBuffers(handle.Get()) ? kSuccess : LastErrorOr(kWriteFault);
    if (!CloseHandle(handle.Release()) && error == kSuccess) error = LastErrorOr(kWriteFault);
    return error;
}

ErrorCode backend::PublishTextFile(std::u16string_view path, std::string_view text) {
    std::string written = WithCrLf(text);
    const ErrorCode error = platform::PublishFileDurably(path, written, NewFileAccess::OwnerOnly);
    // A job's information may hold the identification number.
    platform::WipeText(written);
    return error;
}

// A reparse point counts by itself, whatever it points at.
ErrorCode backend::CheckNameIsFree(std::u16string_view path) {
    const std::wstring widePath = win32::WideString(path);
    if (GetFileAttributesW(widePath.c_str()) != INVALID_FILE_ATTRIBUTES) return kAlreadyExists;
    const ErrorCode error = LastErrorOr(kAccessDenied);
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kSuccess : error;
}

}  // namespace mossvane::platform
