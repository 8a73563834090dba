// Looks into the server process from outside, as a test running as root may.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace mossvane::testing {

// How often `bytes` stands in the readable memory of the process, as a core
// of it would show; nullopt where that can't be read (Windows here).
std::optional<std::size_t> CountInProcessMemory(std::uint32_t processId, std::string_view bytes);

// Fills the server's end of this process's one open connection with filler
// bytes (as many as returned), so that the server's next write on it waits
// until the client reads. A Windows pipe keeps an answer until then anyway.
inline constexpr std::uint8_t kSendRoomFiller = 0x55;
std::size_t FillServersSendRoom(std::uint32_t serverId);

}  // namespace mossvane::testing
