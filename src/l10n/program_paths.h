// Files beside the program's executable.
#pragma once

#include <string>
#include <string_view>

namespace mossvane {

// The folder of the running executable followed by `fileName`, or the empty
// string when the executable's path is unknown or the result would not fit
// in a path of 260 characters (the terminating null included).
std::u16string PathBesideProgram(std::u16string_view fileName);

// `folder` (ending in a separator) followed by `fileName`, within the same
// limit; empty when `folder` is empty or the result is too long.
std::u16string PathInFolder(std::u16string_view folder, std::u16string_view fileName);

// Whether something exists at `path` and is not a folder.
bool IsExistingFile(std::u16string_view path);

}  // namespace mossvane
