// The companion driver executable in the Start menu's pinned list, and the
// system version that decides whether there is such a list.
#pragma once

#include <cstdint>

namespace mossvane {

// Removes the companion driver executable from the Start menu's pinned list.
// Its path is the default value of the driver plug-in key, else walvex1dp.exe
// below the system's spool driver folder. Every failure is silent.
void UnpinCompanionDriver();

// The version code of the running system (OsVersionCode), 0 when the system
// can't tell or is not an NT system.
std::int32_t GetOsVersionCode();

}  // namespace mossvane
