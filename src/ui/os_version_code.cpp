#include "ui/os_version_code.h"

namespace mossvane {

std::int32_t OsVersionCode(std::uint32_t major, std::uint32_t minor) {
    switch (major) {
        case 3:
            return 1;
        case 4:
            return 2;
        case 5:
            if (minor == 0) return 3;
            return minor == 2 ? 5 : 4;
        case 6:
            if (minor == 1) return 7;
            return minor == 2 ? 8 : 6;
        default:
            return 4;
    }
}

}  // namespace mossvane
