// What each backend of platform/pipe.h provides for a connection. The public
// members in platform/pipe.cpp check their arguments once for both backends
// (an open connection, counts set to zero) and then call these, which may
// rely on those checks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/error.h"
#include "platform/pipe.h"

namespace mossvane::platform::pipe_backend {

bool IsOpen(const PipeConnection::Impl& connection);
ErrorCode Read(PipeConnection::Impl& connection, void* buffer, std::size_t size,
               std::size_t& bytesRead);
ErrorCode Write(PipeConnection::Impl& connection, const void* data, std::size_t size,
                std::size_t& bytesWritten);
ErrorCode CheckClientUser(PipeConnection::Impl& connection);
ErrorCode SetByteReadMode(PipeConnection::Impl& connection);
ErrorCode WaitForData(PipeConnection::Impl& connection, std::uint32_t timeoutMilliseconds);
ErrorCode WaitForRoom(PipeConnection::Impl& connection, std::uint32_t timeoutMilliseconds);
ErrorCode WaitForServerEnd(PipeConnection::Impl& connection, std::uint32_t timeoutMilliseconds);

}  // namespace mossvane::platform::pipe_backend
