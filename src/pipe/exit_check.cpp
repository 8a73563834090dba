#include "pipe/exit_check.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
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
// connection would cost a busy server a context switch per client. Every
// round that the trace announces with its enter line ends with an end line,
// whether it ran its passes, was restarted or was cut short by the stop.
class ExitChecker {
  public:
    void Request() {
        std::lock_guard<std::mutex> guard(m_mutex);
        // The stop is decided: there is nothing left to check.
        if (m_stopping || Server().exitEvent.IsSet()) return;
        m_requestedAt = Clock::now();
        if (m_running) {
            ++m_generation;
            // Where a check of its own would have started; written under the
            // lock so that the round's end line can't come before it.
            platform::OutputDebugText(u"[PI] ExitThread Enter");
            return;
        }
        try {
            // The first round is fixed here: a restart before the thread runs
            // ends it with its end line like any other.
            std::thread(&ExitChecker::ThreadMain, this, Round{m_generation, m_requestedAt})
                .detach();
            m_running = true;
        } catch (const std::system_error& error) {
            DebugPrint(u"[PI] ConfirmServerTerminate() - CreateThread failed, GLE=%d.\n",
                       error.code().value());
        }
    }

    void Stop(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_wake.notify_all();
        m_wake.wait_for(lock, timeout, [this] { return !m_running; });
    }

  private:
    using Clock = std::chrono::steady_clock;

    struct Round {
        std::uint64_t generation;
        Clock::time_point start;
    };

    void ThreadMain(Round first) {
        platform::OutputDebugText(u"[PI] ExitThread Enter");
        for (std::optional<Round> round = first; round; round = NextRound(round->generation)) {
            if (RunPasses(*round)) {
                platform::OutputDebugText(u"[PI] ExitThread End ( No More)");
                Server().exitEvent.Set();
            }
        }
    }

    // True when all passes were clean; false, after the round's end line,
    // when the server is busy, a restart was asked for or the server stops.
    bool RunPasses(const Round& round) {
        for (int pass = 1; pass <= kIdlePasses; ++pass) {
            if (!SleepUntil(round.start + pass * kPassInterval, round.generation)) {
                platform::OutputDebugText(u"[PI] ExitThread End");
                return false;
            }
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
    // meanwhile or the server is stopping. Only the stop wakes it early.
    bool SleepUntil(Clock::time_point due, std::uint64_t generation) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait_until(lock, due, [this] { return m_stopping; });
        return !m_stopping && m_generation == generation && !Server().exitEvent.IsSet();
    }

    // The round after the one that just ended: the latest restart, or none
    // once the stop is decided. Restarts that came while another one was
    // still waiting are covered by the latest and never run, nor do those
    // the stop overtook; their enter lines are written, so each gets its end
    // line here.
    std::optional<Round> NextRound(std::uint64_t ended) {
        std::lock_guard<std::mutex> guard(m_mutex);
        std::uint64_t neverRun = m_generation - ended;
        const bool stopping = m_stopping || Server().exitEvent.IsSet();
        std::optional<Round> next;
        if (neverRun > 0 && !stopping) {
            next = Round{m_generation, m_requestedAt};
            --neverRun;
        }
        for (; neverRun > 0; --neverRun) platform::OutputDebugText(u"[PI] ExitThread End");
        if (!next) {
            m_running = false;
            m_wake.notify_all();
        }
        return next;
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::uint64_t m_generation = 0;
    Clock::time_point m_requestedAt;
    bool m_running = false;
    bool m_stopping = false;
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

void EndExitChecks(std::chrono::milliseconds timeout) {
    Checker().Stop(timeout);
}

}  // namespace mossvane
