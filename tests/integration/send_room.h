// Holds back what the server answers on a connection until the test reads:
// the race between an answer and the end of the process is then decided by
// the test, not by the scheduler.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mossvane::testing {

inline constexpr std::uint8_t kSendRoomFiller = 0x55;

// Fills the room that the server's end of this process's one open
// connection has for bytes its client has not read, so that the server's
// next write on it waits until the client reads. Returns how many filler
// bytes (kSendRoomFiller) the client reads first. A Windows pipe keeps an
// answer in its buffer until the client reads it; nothing is filled there.
std::size_t FillServersSendRoom(std::uint32_t serverId);

}  // namespace mossvane::testing
