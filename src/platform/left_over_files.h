// Files that an ended process left behind, such as the temporary file of a
// write it did not finish.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string_view>

namespace mossvane::platform {

// Removes the plain files directly in `folder` whose names `isLeftOver`
// accepts and that nobody has written to for at least `minimumAge`, so a
// file that some process is writing right now is never taken. Returns how
// many were removed; a folder that can't be read removes nothing.
std::size_t RemoveLeftOverFiles(std::u16string_view folder,
                                const std::function<bool(std::u16string_view name)>& isLeftOver,
                                std::chrono::seconds minimumAge);

}  // namespace mossvane::platform
