#include "l10n/program_paths.h"

#include <filesystem>
#include <system_error>

#include "l10n/l10n_constants.h"
#include "platform/system_info.h"

namespace mossvane {

std::u16string PathBesideProgram(std::u16string_view fileName) {
    return PathInFolder(platform::ExecutableFolder(), fileName);
}

std::u16string PathInFolder(std::u16string_view folder, std::u16string_view fileName) {
    if (folder.empty()) return {};
    if (folder.size() + fileName.size() >= l10n::kMaxPathChars) return {};
    std::u16string path(folder);
    path += fileName;
    return path;
}

bool IsExistingFile(std::u16string_view path) {
    if (path.empty()) return false;
    try {
        std::error_code error;
        const auto status = std::filesystem::status(std::filesystem::path(path), error);
        return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
    } catch (const std::exception&) {
        // A path that can't be converted to the system's form names no file.
        return false;
    }
}

}  // namespace mossvane
