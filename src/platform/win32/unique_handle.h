// Kernel handles that close themselves.
#pragma once

#include "platform/win32/windows_include.h"

namespace mossvane::platform::win32 {

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Release() {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Reset(HANDLE handle = nullptr) {
        if (IsValid()) CloseHandle(m_handle);
        m_handle = handle;
    }

  private:
    HANDLE m_handle = nullptr;
};

// Memory from LocalAlloc, such as a converted security descriptor.
class UniqueLocalMemory {
  public:
    UniqueLocalMemory() = default;
    ~UniqueLocalMemory() {
        if (m_memory) LocalFree(m_memory);
    }
    UniqueLocalMemory(const UniqueLocalMemory&) = delete;
    UniqueLocalMemory& operator=(const UniqueLocalMemory&) = delete;

    void* Get() const { return m_memory; }
    void** Receive() { return &m_memory; }

  private:
    void* m_memory = nullptr;
};

}  // namespace mossvane::platform::win32
