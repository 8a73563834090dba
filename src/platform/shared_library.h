// Loadable libraries: DLLs through LoadLibraryW on Windows, shared objects
// through dlopen elsewhere. The program loads companion libraries by full
// path only, so no search rules are involved.
#pragma once

#include <string_view>
#include <utility>

#include "platform/error.h"

namespace mossvane::platform {

// How this platform's loadable libraries end: ".dll" on Windows, ".so"
// elsewhere. Companion libraries are named by a base name plus this ending.
std::u16string_view SharedLibrarySuffix();

// A loaded library. Move-only; unloads itself.
class SharedLibrary {
  public:
    // The type every found function is handed out as; the caller casts it to
    // the function's real type, which it must know from the library's contract.
    using Function = void (*)();

    SharedLibrary() = default;
    ~SharedLibrary() { Unload(); }
    SharedLibrary(SharedLibrary&& other) noexcept
        : m_handle(std::exchange(other.m_handle, nullptr)) {}
    SharedLibrary& operator=(SharedLibrary&& other) noexcept {
        if (this != &other) {
            Unload();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads the library at the full path `path` into `library`, which first
    // lets go of whatever it held. kSuccess, kFileNotFound when there is no
    // such file (or folder on the way), or another nonzero code when the
    // file can't be loaded.
    static ErrorCode Load(std::u16string_view path, SharedLibrary& library);

    bool IsLoaded() const { return m_handle != nullptr; }

    // The exported function `name`, or null when the library exports no
    // such name or nothing is loaded.
    Function FindFunction(const char* name) const;

    void Unload();

  private:
    void* m_handle = nullptr;
};

}  // namespace mossvane::platform
