// The wire format both ends of the user's pipe share: message sizes, the job
// message layout and its command codes, the end-of-job marker and the pipe's
// base name. The server's framing and every client build on these names, so
// a change here is a change of the protocol.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mossvane {

// Every pipe buffer: read, reply and job data, and the pipe's own buffers.
inline constexpr std::size_t kPipeBufferSize = 4104;

// Largest job message payload, so that a whole message fits one buffer.
inline constexpr std::size_t kMaxJobPayload = 4100;

// Answers are UTF-16 texts in the reply buffer, terminator included.
inline constexpr std::size_t kAnswerCapacity = 2052;

// A job message: marker, command code, 16-bit little-endian payload length.
inline constexpr std::uint8_t kJobMarker = 0x1F;
inline constexpr std::size_t kJobHeaderSize = 4;

inline constexpr std::uint8_t CREATE_JOB_CMD = 1;
inline constexpr std::uint8_t WRITE_JOB_CMD = 2;
inline constexpr std::uint8_t END_JOB_CMD = 3;

// The job number at the start of a CREATE_JOB_CMD payload. Only the number
// modulo kJobNumberModulus names the job's files, beside the UTC second.
inline constexpr std::size_t kJobNumberSize = 4;
inline constexpr std::uint32_t kJobNumberModulus = 10000;

// The Printer Job Language's Universal Exit Language command: ESC "%-12345X".
// A job's print data ends with it.
inline constexpr std::uint8_t kEndOfJobMarker[] = {0x1B, 0x25, 0x2D, 0x31, 0x32,
                                                   0x33, 0x34, 0x35, 0x58};
inline constexpr std::size_t kEndOfJobMarkerSize = sizeof kEndOfJobMarker;

inline constexpr char16_t kPipeBaseName[] = u"\\\\.\\pipe\\Mossvane";

}  // namespace mossvane
