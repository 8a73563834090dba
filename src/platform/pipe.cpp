// The checks both pipe backends make before they call the system: the
// connection must be open, and the counts start at zero whatever happens.
#include "platform/pipe.h"

#include "platform/pipe_backend.h"

namespace mossvane::platform {

bool PipeConnection::IsValid() const {
    return m_impl && pipe_backend::IsOpen(*m_impl);
}

ErrorCode PipeConnection::Read(void* buffer, std::size_t size, std::size_t& bytesRead) {
    bytesRead = 0;
    return IsValid() ? pipe_backend::Read(*m_impl, buffer, size, bytesRead) : kInvalidHandle;
}

ErrorCode PipeConnection::Write(const void* data, std::size_t size, std::size_t& bytesWritten) {
    bytesWritten = 0;
    return IsValid() ? pipe_backend::Write(*m_impl, data, size, bytesWritten) : kInvalidHandle;
}

ErrorCode PipeConnection::CheckClientUser() {
    return IsValid() ? pipe_backend::CheckClientUser(*m_impl) : kInvalidHandle;
}

ErrorCode PipeConnection::SetByteReadMode() {
    return IsValid() ? pipe_backend::SetByteReadMode(*m_impl) : kInvalidHandle;
}

ErrorCode PipeConnection::WaitForData(std::uint32_t timeoutMilliseconds) {
    return IsValid() ? pipe_backend::WaitForData(*m_impl, timeoutMilliseconds) : kInvalidHandle;
}

ErrorCode PipeConnection::WaitForRoom(std::uint32_t timeoutMilliseconds) {
    return IsValid() ? pipe_backend::WaitForRoom(*m_impl, timeoutMilliseconds) : kInvalidHandle;
}

ErrorCode PipeConnection::WaitForServerEnd(std::uint32_t timeoutMilliseconds) {
    return IsValid() ? pipe_backend::WaitForServerEnd(*m_impl, timeoutMilliseconds)
                     : kInvalidHandle;
}

}  // namespace mossvane::platform
