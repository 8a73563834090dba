// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object goes away.
#pragma once

#include <filesystem>

namespace mossvane::test {

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

}  // namespace mossvane::test
