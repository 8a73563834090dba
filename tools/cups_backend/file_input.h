// The print data: the file CUPS names, or standard input.
#pragma once

#include <optional>
#include <string>

#include "client/job_stream.h"

namespace mossvane::cups {

using client::ReadStatus;

class FileInput : public client::InputSource {
  public:
    FileInput() = default;
    ~FileInput() override;
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;

    // Opens the file, or takes standard input when there is none. False with
    // a message when the file can't be opened.
    bool Open(const std::optional<std::string>& path, std::string& error);

    ReadStatus Read(std::uint8_t* buffer, std::size_t size, std::size_t& bytesRead) override;

  private:
    int m_fd = -1;
    bool m_owned = false;
};

}  // namespace mossvane::cups
