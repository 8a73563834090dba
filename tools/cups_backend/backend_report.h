// The backend's messages to CUPS: "INFO:", "ERROR:" and "DEBUG:" lines on
// standard error, which CUPS shows with the job and writes to its log. The
// identification number never goes into one.
#pragma once

#include <chrono>
#include <string>

#include "refusals.h"

namespace mossvane::cups {

// One line; a line break inside would start a line CUPS reads as a message
// of its own.
void Report(const char* level, std::string text);

// Reports a refusal; its status, or kBackendOk when there is none.
int Enforce(const Refusal& refusal);

// "60 seconds".
std::string Seconds(std::chrono::seconds duration);

}  // namespace mossvane::cups
