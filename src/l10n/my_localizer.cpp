#include "l10n/my_localizer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "l10n/l10n_constants.h"
#include "l10n/program_paths.h"
#include "platform/shared_library.h"

namespace mossvane {
namespace {

// The creation lock: 1 while a thread creates the localizer. Creation is
// rare and short, so waiting threads simply sleep and retry.
std::atomic<std::uint32_t> g_creationLock{0};

// Never destroyed: connection threads are never joined, and one may still
// look up a text while the process runs its exit handlers.
MyLocalizer* g_localizer = nullptr;

class CreationLockGuard {
  public:
    CreationLockGuard() {
        while (g_creationLock.exchange(1, std::memory_order_acquire) == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~CreationLockGuard() { g_creationLock.exchange(0, std::memory_order_release); }
    CreationLockGuard(const CreationLockGuard&) = delete;
    CreationLockGuard& operator=(const CreationLockGuard&) = delete;
};

}  // namespace

MyLocalizer::MyLocalizer() {
    ChooseLanguage();
}

std::u16string MyLocalizer::GetTextFilePath(std::u16string_view /*languageCode*/) const {
    return PathBesideProgram(l10n::kLocalizationFileName);
}

std::u16string MyLocalizer::GetLanguageLibraryPath() const {
    std::u16string fileName(l10n::kLanguageLibraryBaseName);
    fileName += platform::SharedLibrarySuffix();
    return PathBesideProgram(fileName);
}

ILocalizeProvider* GetLocalizer() {
    CreationLockGuard lock;
    if (g_localizer != nullptr) return g_localizer;
    try {
        g_localizer = new MyLocalizer();
    } catch (...) {
        // Without a localizer every consumer shows its default texts.
        g_localizer = nullptr;
    }
    return g_localizer;
}

}  // namespace mossvane
