// Where print jobs go and how their files are named and created.
#pragma once

#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/spool_files.h"
#include "platform/system_info.h"
#include "wire/wire_format.h"

namespace mossvane {

// Read under the driver plug-in key (l10n::kPlugInKeyPath), per user or,
// when the user's key can't be opened, machine-wide.
inline constexpr char16_t kPrintFolderPathValue[] = u"PrintFolderPath";

// The folders below the user's data folder that hold the jobs by default.
inline constexpr char16_t kVendorFolderName[] = u"VARNOCK";
inline constexpr char16_t kPrintDataFolderName[] = u"PlugInPrnData";

inline constexpr char16_t kJobFileExtension[] = u".prn";
inline constexpr char16_t kJobInfoExtension[] = u".info";

// The data folder for the next job: "PrintFolderPath" when it has data, else
// the default folder, created as needed. kSuccess (the folder may then be
// empty, which no job can use) or kPathNotFound. At most 259 characters.
platform::ErrorCode GetPrintFolderPath(std::u16string& folder);

// The 18 digits a job file is named by: the UTC date and time to the second,
// then the job number modulo 10000.
std::u16string FormatJobFileName(const platform::UtcTime& time, std::uint32_t jobNumber);

// Creates the job file for `jobNumber` in the data folder. `path` is its full
// path, or empty when no folder could be had; the file is invalid when it
// could not be created, including when a file of that name, or anything at
// the name its information file will have, is there already.
platform::JobFile CreateJobFile(std::uint32_t jobNumber, std::u16string& path);

}  // namespace mossvane
