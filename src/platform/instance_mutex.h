// The per-user named mutex whose existence marks the user's first process.
#pragma once

#include <memory>
#include <string_view>

#include "platform/error.h"

namespace mossvane::platform {

class NamedMutex {
  public:
    NamedMutex();
    ~NamedMutex();
    NamedMutex(NamedMutex&&) noexcept;
    NamedMutex& operator=(NamedMutex&&) noexcept;
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Creates the mutex, asking for initial ownership, and reports the system
    // error code of the call: kSuccess when it was created and is owned by
    // this thread, kAlreadyExists when another process holds it (a handle is
    // still returned, not owned), kAccessDenied (no handle), or another code.
    static NamedMutex Create(std::u16string_view name, ErrorCode& lastError);

    bool IsValid() const;

    // Gives up ownership; the mutex still exists while the handle is open.
    void Release();

    // Closes the handle.
    void Close();

    // Puts the low mandatory integrity label on the mutex. True on success.
    bool ApplyLowIntegrityLabel();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace mossvane::platform
