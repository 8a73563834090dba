// Names of the server's side of the pipe protocol; the wire format itself is
// shared with the clients (wire/wire_format.h).
#pragma once

#include "wire/wire_format.h"

namespace mossvane {

// Read under the driver plug-in key (l10n::kPlugInKeyPath) of the user.
inline constexpr char16_t kIsPreparingValue[] = u"IsPreparing";

}  // namespace mossvane
