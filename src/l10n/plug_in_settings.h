// Machine-wide values of the driver plug-in key.
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"

namespace mossvane {

// Reads the string value `valueName` (empty: the key's default value) of the
// driver plug-in key under HKEY_LOCAL_MACHINE. Only REG_SZ and REG_EXPAND_SZ
// data count, not expanded, and only when it ends with its null and fits in
// 260 characters with it. Returns kSuccess with `text` set to the value, or
// an error code with `text` unchanged.
platform::ErrorCode ReadPlugInMachineValue(std::u16string_view valueName, std::u16string& text);

}  // namespace mossvane
