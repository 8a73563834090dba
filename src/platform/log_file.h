// A text file that several writers append to at once, as trace logs are:
// opened for appending, created when missing, and shared for reading and
// writing with every other opener. Each Append lands at the end of the file
// in one system call, so appends of different handles don't overwrite or
// split each other.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/error.h"

namespace mossvane::platform {

class LogFile {
  public:
    LogFile();
    ~LogFile();
    LogFile(LogFile&&) noexcept;
    LogFile& operator=(LogFile&&) noexcept;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens `path` for appending, creating the file when it is missing. An
    // empty path or one that holds a null character is refused
    // (kPathNotFound, kInvalidParameter).
    static ErrorCode OpenForAppend(std::u16string_view path, LogFile& file);

    bool IsOpen() const;

    // The current size of the file in bytes.
    ErrorCode Size(std::uint64_t& size) const;

    // Writes all bytes at the end of the file.
    ErrorCode Append(std::string_view bytes);

    void Close();

    struct Impl;

  private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace mossvane::platform
