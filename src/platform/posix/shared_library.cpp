// Stands in for LoadLibraryW, GetProcAddress and FreeLibrary with dlopen,
// dlsym and dlclose. Paths are UTF-8 on POSIX systems.
#include "platform/shared_library.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <string>

#include "platform/utf8.h"

namespace mossvane::platform {

std::u16string_view SharedLibrarySuffix() {
    return u".so";
}

ErrorCode SharedLibrary::Load(std::u16string_view path, SharedLibrary& library) {
    library.Unload();
    const std::string narrowPath = Utf16ToUtf8(path);
    // dlopen reports failures only as text, so the missing file, the one
    // case callers may want to tell apart, is checked first.
    struct stat info {};
    if (stat(narrowPath.c_str(), &info) != 0) return kFileNotFound;
    // Binding every symbol now makes a library with unresolved references
    // fail here instead of aborting the process at its first call.
    void* handle = dlopen(narrowPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return kInvalidData;
    library.m_handle = handle;
    return kSuccess;
}

SharedLibrary::Function SharedLibrary::FindFunction(const char* name) const {
    if (m_handle == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<Function>(dlsym(m_handle, name));
}

void SharedLibrary::Unload() {
    if (m_handle == nullptr) return;
    dlclose(m_handle);
    m_handle = nullptr;
}

}  // namespace mossvane::platform
