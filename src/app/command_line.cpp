#include "app/command_line.h"

namespace mossvane {

namespace {

constexpr char16_t kVerbIntroducer = u'/';

}  // namespace

int HandleCommandLine(int alreadyRunning, std::u16string_view commandLine) {
    bool hasVerb = commandLine.find(kVerbIntroducer) != std::u16string_view::npos;
    // A second process of the user without any verb ends at once, without a
    // server and without touching the pipe.
    if (alreadyRunning == 1 && !hasVerb) return 1;
    return 0;
}

}  // namespace mossvane
