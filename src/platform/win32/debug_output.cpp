// Debugger output on Windows: OutputDebugStringW. The standard output is the
// process's standard output handle, which a GUI program may lack.
#include "platform/debug_output.h"

#include <string>

#include "platform/win32/windows_include.h"

namespace mossvane::platform {

void OutputDebugText(std::u16string_view text) {
    OutputDebugStringW(win32::WideString(text).c_str());
}

void WriteStandardOutput(std::string_view text) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace mossvane::platform
