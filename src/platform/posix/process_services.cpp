// No COM and no common controls on POSIX: the services are empty.
#include "platform/process_services.h"

namespace mossvane::platform {

ProcessServices::ProcessServices() = default;
ProcessServices::~ProcessServices() = default;

}  // namespace mossvane::platform
