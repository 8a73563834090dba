// Process entry on POSIX: the arguments after the program name, joined with
// single spaces, are the command line the program reads its verbs from.
// Arguments are bytes; every one of them reaches the program (and a file
// name given to a verb reaches the file system) unchanged, even when it is
// not UTF-8.
#include <signal.h>

#include <string>

#include "app/plug_in_server.h"
#include "platform/posix/posix_util.h"
#include "platform/utf8.h"

int main(int argc, char** argv) {
    // A reader of standard output or error that went away must not end the
    // server: its writes then fail with EPIPE, which the output ignores.
    signal(SIGPIPE, SIG_IGN);
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    return mossvane::RunPlugInServer(mossvane::platform::FileNameToUtf16(commandLine));
}
