#include "pipe/exit_check.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#include "l10n/l10n_constants.h"
#include "log/debug_print.h"
#include "pipe/pipe_constants.h"
#include "pipe/server_state.h"
#include "platform/debug_output.h"
#include "platform/registry.h"

namespace mossvane {

namespace {

constexpr int kIdlePasses = 10;
constexpr auto kPassInterval = std::chrono::milliseconds(1000);

// The printer driver sets "IsPreparing" while the spooler prepares a job; a
// missing key or value counts as not preparing.
bool IsSpoolerPreparing() {
    platform::RegistryKey key;
    if (platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, l10n::kPlugInKeyPath,
                                    platform::RegistryAccess::ReadWrite,
                                    key) != platform::kSuccess) {
        return false;
    }
    std::uint32_t preparing = 0;
    std::uint32_t size = sizeof preparing;
    if (key.QueryValueInto(kIsPreparingValue, &preparing, size) != platform::kSuccess) return false;
    return preparing != 0;
}

class ExitChecker {
  public:
    void Request() {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_running) {
            ++m_generation;
            m_wake.notify_all();
            return;
        }
        try {
            std::thread(&ExitChecker::ThreadMain, this).detach();
            m_running = true;
        } catch (const std::system_error& error) {
            DebugPrint(u"[PI] ConfirmServerTerminate() - CreateThread failed, GLE=%d.\n",
                       error.code().value());
        }
    }

  private:
    enum class PassResult { Clean, Restart, Busy };

    void ThreadMain() {
        for (;;) {
            platform::OutputDebugText(u"[PI] ExitThread Enter");
            std::uint64_t generation = CurrentGeneration();
            if (RunPasses(generation)) {
                platform::OutputDebugText(u"[PI] ExitThread End ( No More)");
                Server().exitEvent.Set();
            }
            if (FinishUnlessRestarted(generation)) return;
        }
    }

    // True when all passes were clean; false when the server is busy or a
    // restart was asked for.
    bool RunPasses(std::uint64_t generation) {
        for (int pass = 0; pass < kIdlePasses; ++pass) {
            if (!SleepOnePass(generation)) return false;
            if (IsSpoolerPreparing()) {
                platform::OutputDebugText(u"[PI] ExitThread End because spooler is preparing.");
                return false;
            }
            std::int32_t callCount = Server().CallCount.load();
            DebugPrint(u"[PI] ExitThread (CallCount : %d)", callCount);
            if (callCount > 0) {
                platform::OutputDebugText(u"[PI] ExitThread End");
                return false;
            }
        }
        return true;
    }

    // Sleeps one interval; false when a restart was asked for meanwhile.
    bool SleepOnePass(std::uint64_t generation) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return !m_wake.wait_for(lock, kPassInterval, [&] { return m_generation != generation; });
    }

    std::uint64_t CurrentGeneration() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_generation;
    }

    bool FinishUnlessRestarted(std::uint64_t generation) {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_generation != generation) return false;
        m_running = false;
        return true;
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::uint64_t m_generation = 0;
    bool m_running = false;
};

ExitChecker& Checker() {
    // Never destroyed: its thread may still run while the process ends.
    static ExitChecker* checker = new ExitChecker();
    return *checker;
}

}  // namespace

void ConfirmServerTerminate() {
    std::int32_t callCount = Server().CallCount.load();
    DebugPrint(u"[PI] ConfirmServerTerminate Enter(CallCount : %d)", callCount);
    if (callCount >= 2) return;
    platform::OutputDebugText(u"[PI] ConfirmServerTerminate() - Create Exit Thread");
    Checker().Request();
}

}  // namespace mossvane
