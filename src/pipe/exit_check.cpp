#include "pipe/exit_check.h"

#include <chrono>
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

// One thread runs the passes. A request while it runs restarts them without
// waking it: the thread finds the restart when its current pass is due and
// then times the new first pass from the request. Waking it for every ended
// connection would cost a busy server a context switch per client.
class ExitChecker {
  public:
    void Request() {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_running) {
            ++m_generation;
            m_requestedAt = Clock::now();
            lock.unlock();
            // Where a check of its own would have started.
            platform::OutputDebugText(u"[PI] ExitThread Enter");
            return;
        }
        m_requestedAt = Clock::now();
        try {
            std::thread(&ExitChecker::ThreadMain, this).detach();
            m_running = true;
        } catch (const std::system_error& error) {
            DebugPrint(u"[PI] ConfirmServerTerminate() - CreateThread failed, GLE=%d.\n",
                       error.code().value());
        }
    }

  private:
    using Clock = std::chrono::steady_clock;

    struct Round {
        std::uint64_t generation;
        Clock::time_point start;
    };

    void ThreadMain() {
        platform::OutputDebugText(u"[PI] ExitThread Enter");
        for (;;) {
            const Round round = CurrentRound();
            if (RunPasses(round)) {
                platform::OutputDebugText(u"[PI] ExitThread End ( No More)");
                Server().exitEvent.Set();
            }
            if (FinishUnlessRestarted(round.generation)) return;
        }
    }

    // True when all passes were clean; false when the server is busy or a
    // restart was asked for.
    bool RunPasses(const Round& round) {
        for (int pass = 1; pass <= kIdlePasses; ++pass) {
            if (!SleepUntil(round.start + pass * kPassInterval, round.generation)) return false;
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

    // Sleeps until the pass is due; false when a restart was asked for
    // meanwhile.
    bool SleepUntil(Clock::time_point due, std::uint64_t generation) {
        std::this_thread::sleep_until(due);
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_generation == generation;
    }

    Round CurrentRound() {
        std::lock_guard<std::mutex> guard(m_mutex);
        return {m_generation, m_requestedAt};
    }

    bool FinishUnlessRestarted(std::uint64_t generation) {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_generation != generation) return false;
        m_running = false;
        return true;
    }

    std::mutex m_mutex;
    std::uint64_t m_generation = 0;
    Clock::time_point m_requestedAt;
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
