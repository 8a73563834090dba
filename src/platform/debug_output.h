// The program's two plain output channels: the debugger output, where every
// trace goes, and the standard output, used by a handful of listener messages.
#pragma once

#include <string_view>

namespace mossvane::platform {

// Sends one text to the debugger output as a single unit. The text is sent as
// given; the caller adds its own line feed where it wants one.
void OutputDebugText(std::u16string_view text);

// Writes the text to the process's standard output and flushes it.
void WriteStandardOutput(std::string_view text);

}  // namespace mossvane::platform
