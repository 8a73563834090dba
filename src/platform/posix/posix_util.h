// Helpers shared by the POSIX backend files: errno mapping, the runtime
// folder, and an owned descriptor.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace mossvane::platform::posix {

// Maps an errno value to the system error code the program passes around.
ErrorCode ErrorFromErrno(int errnoValue);

// Who asks for the runtime folder. The server (its socket, its instance
// lock) makes the fallback folder when it is missing; a client only ever
// uses a folder that is there, so it never prepares one for someone else.
enum class RuntimeUse { Serve, Connect };

// The per-user runtime folder: $XDG_RUNTIME_DIR, or /tmp/mossvane-<uid>.
// Only a folder of the effective user that no one else may write to is
// used (the fallback must also be no link and have mode 0700 exactly):
// anything else gives kUntrustedServer, since whoever may change the folder
// may put their own socket in it. kFileNotFound when the folder is missing
// (a client; the server makes the fallback folder, mode 0700).
ErrorCode RuntimeFolder(RuntimeUse use, std::string& folder);

// The file that stands in for a Windows object name such as
// "\\.\pipe\Mossvane_alice" or "Global\Mossvane_alice": the last path
// component, placed in the runtime folder, with the given suffix.
ErrorCode RuntimeObjectPath(std::u16string_view windowsName, std::string_view suffix,
                            std::string& path, RuntimeUse use = RuntimeUse::Connect);

// Writes all size bytes to fd, going on after short writes and interrupted
// calls as files and pipes allow. kSuccess, the code of the failing write,
// or kWriteFault when a write takes nothing.
ErrorCode WriteAll(int fd, const void* data, std::size_t size);

// A file descriptor that closes itself.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    int Release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closing is no cancellation point here: it runs in destructors, which
    // a cancelled thread's unwinding must not leave, and a descriptor whose
    // close was cancelled would stay open.
    void Reset(int fd = -1);

  private:
    int m_fd = -1;
};

}  // namespace mossvane::platform::posix
