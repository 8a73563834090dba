// A COM interface pointer that releases itself.
#pragma once

#include "platform/win32/windows_include.h"

namespace mossvane {

template <typename Interface>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* Get() const { return m_pointer; }
    Interface* operator->() const { return m_pointer; }
    // For functions that hand out a new reference through a void**.
    void** Receive() {
        Reset();
        return reinterpret_cast<void**>(&m_pointer);
    }
    void Reset() {
        if (m_pointer != nullptr) m_pointer->Release();
        m_pointer = nullptr;
    }

  private:
    Interface* m_pointer = nullptr;
};

}  // namespace mossvane
