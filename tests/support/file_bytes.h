// A whole file's bytes, for tests that check what a program wrote.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace mossvane::test {

// The file's bytes as they are on disk; empty when it cannot be read (a
// folder, a missing file), since the stream insertion catches read errors.
inline std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace mossvane::test
