// Reading the print data with POSIX calls.
#include "file_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mossvane::cups {

FileInput::~FileInput() {
    if (m_owned && m_fd >= 0) close(m_fd);
}

bool FileInput::Open(const std::optional<std::string>& path, std::string& error) {
    if (!path) {
        m_fd = STDIN_FILENO;
        return true;
    }
    int fd = open(path->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open \"" + *path + "\": " + std::strerror(errno);
        return false;
    }
    m_fd = fd;
    m_owned = true;
    return true;
}

ReadStatus FileInput::Read(std::uint8_t* buffer, std::size_t size, std::size_t& bytesRead) {
    bytesRead = 0;
    for (;;) {
        ssize_t got = read(m_fd, buffer, size);
        if (got > 0) {
            bytesRead = static_cast<std::size_t>(got);
            return ReadStatus::Data;
        }
        if (got == 0) return ReadStatus::End;
        if (errno != EINTR) return ReadStatus::Failed;
    }
}

}  // namespace mossvane::cups
