// What command-line tools need of the console: whether a stream is a
// terminal (to draw progress), and binary standard input.
#pragma once

#include <string>
#include <vector>

namespace mossvane::platform {

// The program's arguments after its own name, as UTF-16 texts: from the wide
// command line on Windows, from argv decoded as UTF-8 elsewhere.
std::vector<std::u16string> CommandLineArguments(int argc, char** argv);

enum class StandardStream { Input, Output, Error };

bool IsTerminal(StandardStream stream);

// Makes standard input deliver bytes unchanged (no line-end translation).
void SetStandardInputBinary();

}  // namespace mossvane::platform
