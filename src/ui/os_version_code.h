// The small version code the dialog uses to decide whether the Start menu's
// pinned list exists (code 6 and above).
#pragma once

#include <cstdint>

namespace mossvane {

inline constexpr std::int32_t kOsVersionCodeUnknown = 0;
// The first code of the systems that have a Start-menu pinned list.
inline constexpr std::int32_t kOsVersionCodeWithPinnedList = 6;

// The code for an NT system of the given major and minor version. Systems
// newer than the table knows get 4, which keeps the unpinning off there.
std::int32_t OsVersionCode(std::uint32_t major, std::uint32_t minor);

}  // namespace mossvane
