#include "pipe/job_file.h"

#include "l10n/l10n_constants.h"
#include "log/debug_print.h"
#include "log/text_format.h"
#include "pipe/job_info.h"
#include "platform/debug_output.h"
#include "platform/registry.h"

namespace mossvane {

using platform::ErrorCode;
using platform::kPathNotFound;
using platform::kSuccess;

namespace {

// Paths are bounded like the system's: 260 characters with the terminator.
constexpr std::size_t kMaxPathLength = l10n::kMaxPathChars - 1;

void AppendBounded(std::u16string& path, std::u16string_view tail) {
    if (path.size() >= kMaxPathLength) return;
    path.append(tail.substr(0, kMaxPathLength - path.size()));
}

bool OpenPlugInKey(platform::RegistryKey& key) {
    using platform::RegistryKey;
    using platform::RegistryRoot;
    // The machine's key stands in only for a user who has no key of his own.
    return RegistryKey::Open(RegistryRoot::CurrentUser, l10n::kPlugInKeyPath,
                             platform::RegistryAccess::Read, key) == kSuccess ||
           RegistryKey::Open(RegistryRoot::LocalMachine, l10n::kPlugInKeyPath,
                             platform::RegistryAccess::Read, key) == kSuccess;
}

bool IsReadableText(ErrorCode error, std::uint32_t type, const char16_t* text, std::uint32_t size) {
    if (error != kSuccess) return false;
    if (type != platform::reg_type::kSz && type != platform::reg_type::kExpandSz) return false;
    if (size % sizeof(char16_t) != 0) return false;
    return size == 0 || text[size / sizeof(char16_t) - 1] == u'\0';
}

// True when the registry names the folder; `folder` is then that text, taken
// literally (it may be empty). An unreadable value counts as absent, and so
// does one without data.
bool ReadFolderFromRegistry(std::u16string& folder) {
    platform::RegistryKey key;
    if (!OpenPlugInKey(key)) return false;
    char16_t buffer[l10n::kMaxPathChars] = {};
    std::uint32_t size = sizeof buffer;
    std::uint32_t type = platform::reg_type::kNone;
    const ErrorCode error = key.QueryValueInto(kPrintFolderPathValue, buffer, size, &type);
    if (!IsReadableText(error, type, buffer, size)) {
        platform::OutputDebugText(u"[PI][PISettingPage] Cannot read PrintFolderPath");
        folder.clear();
        return false;
    }
    if (size == 0) return false;
    folder = buffer;
    return true;
}

// The user's data folder with "VARNOCK" and "PlugInPrnData" below it.
ErrorCode DefaultPrintFolder(std::u16string& folder) {
    std::u16string path;
    if (platform::GetUserDataFolder(path) != kSuccess) return kPathNotFound;
    if (path.empty()) {
        folder.clear();
        return kSuccess;
    }
    const std::u16string separator(1, platform::PathSeparator());
    AppendBounded(path, separator);
    AppendBounded(path, kVendorFolderName);
    // An existing folder is fine; any other trouble shows at the next step.
    platform::CreateFolder(path);
    AppendBounded(path, separator);
    AppendBounded(path, kPrintDataFolderName);
    if (platform::CreateFolder(path) == kPathNotFound) {
        folder.clear();
        return kPathNotFound;
    }
    folder = path;
    return kSuccess;
}

}  // namespace

ErrorCode GetPrintFolderPath(std::u16string& folder) {
    folder.clear();
    if (ReadFolderFromRegistry(folder)) return kSuccess;
    return DefaultPrintFolder(folder);
}

std::u16string FormatJobFileName(const platform::UtcTime& time, std::uint32_t jobNumber) {
    return FormatText(u"%04d%02d%02d%02d%02d%02d%04d", time.year, time.month, time.day, time.hour,
                      time.minute, time.second, jobNumber % kJobNumberModulus)
        .value_or(u"");
}

platform::JobFile CreateJobFile(std::uint32_t jobNumber, std::u16string& path) {
    path.clear();
    const std::u16string name = FormatJobFileName(platform::CurrentUtcTime(), jobNumber);
    DebugPrint(u"[PI][Pipe - InstanceThread]Job is created : %s", name);
    std::u16string folder;
    if (GetPrintFolderPath(folder) != kSuccess || folder.empty()) return {};
    std::u16string jobPath = folder;
    AppendBounded(jobPath, std::u16string(1, platform::PathSeparator()));
    AppendBounded(jobPath, name);
    AppendBounded(jobPath, kJobFileExtension);
    path = jobPath;
    platform::JobFile file;
    // The information file will need its name too: a job whose name is
    // already taken there (by a job of the same name whose file went away,
    // or by somebody planting files under the coming seconds' names in a
    // shared folder) can never be stored, so it is not begun.
    if (platform::CheckNameIsFree(JobInfoPathFor(path)) != kSuccess) {
        DebugPrint(u"[PI][Pipe - InstanceThread]Job information file already exists : %s",
                   JobInfoPathFor(path));
        return file;
    }
    // Two jobs of one second with equal numbers modulo 10000 would share a
    // name; the later one must not write into the earlier one's file.
    if (platform::JobFile::CreateNew(path, file) == platform::kAlreadyExists) {
        DebugPrint(u"[PI][Pipe - InstanceThread]Job file already exists : %s", path);
    }
    return file;
}

}  // namespace mossvane
