#include "support/temp_folder.h"

#include <random>
#include <string>
#include <system_error>

#include "platform/system_info.h"

namespace mossvane::test {

TempFolder::TempFolder() {
    // Tests run in parallel processes: the process id and a random part keep
    // their folders apart, and create_directory refuses one that exists.
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    const std::string prefix =
        "mossvane-test-" + std::to_string(platform::CurrentProcessId()) + "-";
    for (;;) {
        std::filesystem::path candidate = base / (prefix + std::to_string(random() % 1000000000));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            m_path = std::move(candidate);
            return;
        }
        if (error) throw std::filesystem::filesystem_error("temporary folder", candidate, error);
    }
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

}  // namespace mossvane::test
