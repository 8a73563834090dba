// Formatted texts for the debugger output, the program's always-on trace.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "log/text_format.h"

namespace mossvane {

// Sends an already formatted text; nothing is sent for std::nullopt.
void DebugPrintFormatted(const std::optional<std::u16string>& text);

// Formats a printf-style text (see text_format.h) and sends it to the
// debugger output as one unit. No line feed is added: the texts carry their
// own. Nothing is sent when the text can't be formatted.
template <typename... Args>
void DebugPrint(std::u16string_view format, const Args&... args) {
    DebugPrintFormatted(FormatText(format, args...));
}

}  // namespace mossvane
