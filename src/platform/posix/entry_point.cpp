// Process entry on POSIX: the arguments after the program name, joined with
// single spaces, are the command line the program reads its verbs from.
#include <string>

#include "app/plug_in_server.h"
#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return mossvane::RunPlugInServer(mossvane::platform::Utf8ToUtf16(commandLine));
}
