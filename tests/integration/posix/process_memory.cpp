// Reads every readable mapping of the process through /proc/<pid>/mem,
// which a test running as root may do even when the process made itself
// undumpable.
#include "process_memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/posix/posix_util.h"

namespace mossvane::testing {

std::optional<std::size_t> CountInProcessMemory(std::uint32_t processId, std::string_view bytes) {
    const std::string process = "/proc/" + std::to_string(processId);
    std::ifstream maps(process + "/maps");
    platform::posix::UniqueFd memory(open((process + "/mem").c_str(), O_RDONLY | O_CLOEXEC));
    if (!maps || !memory.IsValid()) return std::nullopt;
    std::size_t count = 0;
    std::string region;
    for (std::string line; std::getline(maps, line);) {
        unsigned long start = 0;
        unsigned long end = 0;
        char readable = '-';
        if (std::sscanf(line.c_str(), "%lx-%lx %c", &start, &end, &readable) != 3) continue;
        if (readable != 'r') continue;
        region.resize(end - start);
        // Some mappings ([vvar], say) can't be read; nothing of the program's is there.
        const ssize_t got =
            pread(memory.Get(), region.data(), region.size(), static_cast<off_t>(start));
        const std::string_view contents(region.data(), got > 0 ? static_cast<std::size_t>(got) : 0);
        for (auto at = contents.find(bytes); at != std::string_view::npos;
             at = contents.find(bytes, at + 1)) {
            ++count;
        }
    }
    return count;
}

}  // namespace mossvane::testing
