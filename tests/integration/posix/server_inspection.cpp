// /proc/<pid>/mem is readable to root even when the process made itself
// undumpable; pidfd_getfd lends the test the server's end of a connection
// (called directly: glibc's declarations of it lack C linkage in C++).
#include "server_inspection.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/posix_util.h"
#include "server_harness.h"

namespace mossvane::testing {

using platform::posix::UniqueFd;

std::optional<std::size_t> CountInProcessMemory(std::uint32_t processId, std::string_view bytes) {
    const std::string process = "/proc/" + std::to_string(processId);
    std::ifstream maps(process + "/maps");
    const UniqueFd memory(open((process + "/mem").c_str(), O_RDONLY | O_CLOEXEC));
    if (!maps || !memory.IsValid()) return std::nullopt;
    std::size_t count = 0;
    std::string region;
    for (std::string line; std::getline(maps, line);) {
        unsigned long start = 0, end = 0;
        char readable = '-';
        std::sscanf(line.c_str(), "%lx-%lx %c", &start, &end, &readable);
        // A sanitizer's shadow spans terabytes and holds none of the program's
        // bytes; every mapping of the program's own is far smaller.
        constexpr unsigned long kLargestOwnMapping = 1ul << 32;
        const bool owned = readable == 'r' && end - start <= kLargestOwnMapping;
        region.resize(owned ? end - start : 0);
        // Some mappings ([vvar]) can't be read; nothing of the program's is there.
        const ssize_t got = pread(memory.Get(), region.data(), region.size(), start);
        count += CountOccurrences(std::string_view(region.data(), got > 0 ? got : 0), bytes);
    }
    return count;
}

std::size_t FillServersSendRoom(std::uint32_t serverId) {
    const UniqueFd server(static_cast<int>(syscall(SYS_pidfd_open, serverId, 0)));
    const std::string folder = "/proc/" + std::to_string(serverId) + "/fd";
    UniqueFd serverEnd;
    // The end whose peer is this process; taken a moment after the connect.
    WaitUntil(
        [&] {
            for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                const int fd = std::stoi(entry.path().filename());
                serverEnd.Reset(static_cast<int>(syscall(SYS_pidfd_getfd, server.Get(), fd, 0)));
                ucred peer{};
                socklen_t length = sizeof peer;
                getsockopt(serverEnd.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &length);
                if (peer.pid == getpid()) return true;
            }
            return false;
        },
        kStartTimeout);
    const std::string filler(64 * 1024, static_cast<char>(kSendRoomFiller));
    std::size_t total = 0;
    for (ssize_t sent = 0; sent >= 0; total += sent > 0 ? sent : 0) {
        sent = send(serverEnd.Get(), filler.data(), filler.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    }
    return total;
}

}  // namespace mossvane::testing
