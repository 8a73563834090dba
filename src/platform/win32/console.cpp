// The console on Windows: a console handle answers GetConsoleMode; the C
// runtime's standard input is switched out of text mode.
#include "platform/console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/win32/windows_include.h"

#include <shellapi.h>

namespace mossvane::platform {

bool IsTerminal(StandardStream stream) {
    DWORD which = stream == StandardStream::Input    ? STD_INPUT_HANDLE
                  : stream == StandardStream::Output ? STD_OUTPUT_HANDLE
                                                     : STD_ERROR_HANDLE;
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

void SetStandardInputBinary() {
    _setmode(_fileno(stdin), _O_BINARY);
}

// argv of a MinGW program is in the ANSI code page and loses characters;
// the wide command line has them all.
std::vector<std::u16string> CommandLineArguments(int, char**) {
    std::vector<std::u16string> arguments;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(reinterpret_cast<char16_t*>(wide[i]));
    LocalFree(wide);
    return arguments;
}

}  // namespace mossvane::platform
