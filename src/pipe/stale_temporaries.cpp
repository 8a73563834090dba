#include "pipe/stale_temporaries.h"

#include <map>
#include <mutex>
#include <string>

#include "log/debug_print.h"
#include "pipe/job_file.h"
#include "platform/left_over_files.h"
#include "platform/spool_files.h"

namespace mossvane {

namespace {

// The replacing write names its temporary "<file>." and six letters or digits.
constexpr std::size_t kTemporarySuffixLength = 6;

bool IsLetterOrDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Whether the folder is due for a look, and if so notes that it had one.
bool TakeSweepTurn(const std::u16string& folder) {
    using Clock = std::chrono::steady_clock;
    static std::mutex guard;
    // Never destroyed: connection threads may still sweep while the process ends.
    static auto* lastSweep = new std::map<std::u16string, Clock::time_point>();
    std::lock_guard<std::mutex> lock(guard);
    const Clock::time_point now = Clock::now();
    auto found = lastSweep->find(folder);
    if (found != lastSweep->end() && now - found->second < kStaleTemporaryAge) return false;
    (*lastSweep)[folder] = now;
    return true;
}

}  // namespace

bool IsJobInfoTemporaryName(std::u16string_view name) {
    const std::u16string marker = std::u16string(kJobInfoExtension) + u".";
    if (name.size() <= marker.size() + kTemporarySuffixLength) return false;
    const std::size_t suffixAt = name.size() - kTemporarySuffixLength;
    const std::size_t markerAt = suffixAt - marker.size();
    if (markerAt == 0 || name.substr(markerAt, marker.size()) != marker) return false;
    for (std::size_t at = suffixAt; at < name.size(); ++at) {
        if (!IsLetterOrDigit(name[at])) return false;
    }
    return true;
}

void RemoveStaleJobInfoTemporaries(std::u16string_view jobFilePath) {
    const std::size_t separator = jobFilePath.rfind(platform::PathSeparator());
    if (separator == std::u16string_view::npos) return;
    const std::u16string folder(jobFilePath.substr(0, separator));
    if (!TakeSweepTurn(folder)) return;
    const std::size_t removed =
        platform::RemoveLeftOverFiles(folder, IsJobInfoTemporaryName, kStaleTemporaryAge);
    if (removed > 0) {
        DebugPrint(u"[PI] Removed %d unfinished information files", static_cast<int>(removed));
    }
}

}  // namespace mossvane
