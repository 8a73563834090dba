// Sizes, markers and names of the pipe protocol, named once.
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

inline constexpr std::uint8_t kJobMarker = 0x1F;
inline constexpr std::size_t kJobHeaderSize = 4;

// The Printer Job Language's Universal Exit Language command: ESC "%-12345X".
// A job's print data ends with it.
inline constexpr std::uint8_t kEndOfJobMarker[] = {0x1B, 0x25, 0x2D, 0x31, 0x32,
                                                   0x33, 0x34, 0x35, 0x58};
inline constexpr std::size_t kEndOfJobMarkerSize = sizeof kEndOfJobMarker;

inline constexpr char16_t kPipeBaseName[] = u"\\\\.\\pipe\\Mossvane";

// Read under the driver plug-in key (l10n::kPlugInKeyPath) of the user.
inline constexpr char16_t kIsPreparingValue[] = u"IsPreparing";

}  // namespace mossvane
