// Loadable libraries through LoadLibraryW, GetProcAddress and FreeLibrary.
#include "platform/shared_library.h"

#include "platform/win32/windows_include.h"

namespace mossvane::platform {

std::u16string_view SharedLibrarySuffix() {
    return u".dll";
}

ErrorCode SharedLibrary::Load(std::u16string_view path, SharedLibrary& library) {
    library.Unload();
    const std::wstring widePath = win32::WideString(path);
    // LoadLibraryW reports a missing file as a missing module; callers are
    // told the plainer fact, as the POSIX backend tells them.
    if (GetFileAttributesW(widePath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const ErrorCode error = GetLastError();
        return error == kPathNotFound ? kFileNotFound : error;
    }
    HMODULE module = LoadLibraryW(widePath.c_str());
    if (module == nullptr) {
        const ErrorCode error = GetLastError();
        return error != kSuccess ? error : kFileNotFound;
    }
    library.m_handle = module;
    return kSuccess;
}

SharedLibrary::Function SharedLibrary::FindFunction(const char* name) const {
    if (m_handle == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<Function>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
}

void SharedLibrary::Unload() {
    if (m_handle == nullptr) return;
    FreeLibrary(static_cast<HMODULE>(m_handle));
    m_handle = nullptr;
}

}  // namespace mossvane::platform
