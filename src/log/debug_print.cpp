#include "log/debug_print.h"

#include "platform/debug_output.h"

namespace mossvane {

void DebugPrintFormatted(const std::optional<std::u16string>& text) {
    if (!text) return;
    platform::OutputDebugText(*text);
}

}  // namespace mossvane
