#include "backend_report.h"

#include <cstdio>

#include "backend_status.h"

namespace mossvane::cups {

void Report(const char* level, std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    std::fprintf(stderr, "%s: %s\n", level, text.c_str());
    std::fflush(stderr);
}

int Enforce(const Refusal& refusal) {
    if (!refusal.refused) return kBackendOk;
    Report("ERROR", refusal.message);
    return refusal.status;
}

std::string Seconds(std::chrono::seconds duration) {
    return std::to_string(duration.count()) + " seconds";
}

}  // namespace mossvane::cups
