// Process entry on Windows: the wide GUI entry point, which receives the
// command line without the program's own path.
#include "app/plug_in_server.h"
#include "platform/win32/windows_include.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    const wchar_t* text = commandLine != nullptr ? commandLine : L"";
    return mossvane::RunPlugInServer(reinterpret_cast<const char16_t*>(text));
}
