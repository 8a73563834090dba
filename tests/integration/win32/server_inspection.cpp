#include "server_inspection.h"

namespace mossvane::testing {

std::optional<std::size_t> CountInProcessMemory(std::uint32_t, std::string_view) {
    return std::nullopt;
}
std::size_t FillServersSendRoom(std::uint32_t) {
    return 0;
}

}  // namespace mossvane::testing
