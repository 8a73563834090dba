// Looks into the memory of a process the test started, the way someone who
// takes a core of it would: whatever a program leaves in freed blocks or on
// old stack frames is there to be found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace mossvane::testing {

// How often `bytes` stands in the readable memory of process `processId`;
// nullopt where the test can't read another process's memory.
std::optional<std::size_t> CountInProcessMemory(std::uint32_t processId, std::string_view bytes);

}  // namespace mossvane::testing
