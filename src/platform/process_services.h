// The per-process services the program starts before anything else and stops
// last: COM in the multithreaded apartment and the common controls on
// Windows; nothing elsewhere. Failures don't stop the start-up.
#pragma once

namespace mossvane::platform {

class ProcessServices {
  public:
    ProcessServices();
    ~ProcessServices();
    ProcessServices(const ProcessServices&) = delete;
    ProcessServices& operator=(const ProcessServices&) = delete;
};

}  // namespace mossvane::platform
