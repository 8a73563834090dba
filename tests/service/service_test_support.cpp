#include "service_test_support.h"

#include <sys/stat.h>

#include <cstdlib>

#include "platform/posix/posix_util.h"
#include "wire/job_message.h"
#include "wire/pipe_name.h"

namespace mossvane::testing {

std::string SocketPath() {
    std::string path;
    EXPECT_EQ(platform::posix::RuntimeObjectPath(UserPipeName(), "", path), platform::kSuccess);
    return path;
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

bool ExchangeQuickRequest(platform::PipeConnection& connection) {
    std::vector<std::uint8_t> request = EncodeRequest(u"@=OpenUI");
    std::size_t written = 0;
    if (connection.Write(request.data(), request.size(), written) != platform::kSuccess) {
        return false;
    }
    // The empty answer is its terminator alone.
    std::uint8_t answer[2];
    std::size_t received = 0;
    while (received < sizeof answer) {
        std::size_t got = 0;
        if (connection.Read(answer + received, sizeof answer - received, got) !=
            platform::kSuccess) {
            return false;
        }
        received += got;
    }
    return answer[0] == 0 && answer[1] == 0;
}

std::vector<std::filesystem::path> FilesEndingIn(const std::string& extension) {
    std::vector<std::filesystem::path> found;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::error_code error;
    if (dataHome == nullptr || !std::filesystem::exists(dataHome, error)) return found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dataHome, error)) {
        if (entry.is_regular_file() && entry.path().extension() == extension) {
            found.push_back(entry.path());
        }
    }
    return found;
}

}  // namespace mossvane::testing
