#include "client/connect.h"

#include "client/deadline.h"
#include "platform/system_info.h"

namespace mossvane::client {

namespace {

// One busy wait: the deadline is set by the first busy answer and holds for
// every wait that follows it, so a pipe that never frees up (or, with a
// socket, can't tell when it does) ends the wait in time.
class BusyWait {
  public:
    explicit BusyWait(std::uint32_t milliseconds) : m_milliseconds(milliseconds) {}

    // kSuccess when the pipe may be free now; otherwise the wait is over.
    platform::ErrorCode Wait(std::u16string_view pipeName) {
        if (!m_started) m_until = Deadline::After(m_milliseconds);
        m_started = true;
        const std::uint32_t left = m_until.RemainingMilliseconds();
        // Zero would ask WaitNamedPipeW for the pipe's default wait instead.
        return left == 0 ? platform::kSemTimeout : platform::WaitForPipe(pipeName, left);
    }

    // The pipe answered something other than busy: a later busy answer
    // starts a wait of its own.
    void End() { m_started = false; }

  private:
    std::uint32_t m_milliseconds;
    bool m_started = false;
    Deadline m_until = Deadline::Never();
};

}  // namespace

ConnectResult ConnectWithRetries(std::u16string_view pipeName, const ConnectPatience& patience,
                                 platform::PipeConnection& connection,
                                 platform::ErrorCode& lastError) {
    std::uint32_t budget = patience.retryBudgetMilliseconds;
    BusyWait busyWait(patience.busyWaitMilliseconds);
    for (;;) {
        lastError = platform::ConnectToPipe(pipeName, connection);
        if (lastError == platform::kSuccess) return ConnectResult::Connected;
        if (lastError == platform::kUntrustedServer) return ConnectResult::UntrustedServer;
        if (lastError == platform::kPipeBusy) {
            const platform::ErrorCode waitError = busyWait.Wait(pipeName);
            if (waitError == platform::kSuccess) continue;
            lastError = waitError;
            return ConnectResult::StayedBusy;
        }
        busyWait.End();
        // No server yet: one that is starting may still make its pipe.
        if (lastError != platform::kFileNotFound && !patience.retryEveryFailure) {
            return ConnectResult::Failed;
        }
        if (budget < patience.retryStepMilliseconds) return ConnectResult::NoInstance;
        platform::SleepMilliseconds(patience.retryStepMilliseconds);
        budget -= patience.retryStepMilliseconds;
    }
}

ConnectPatience PatienceWithin(std::uint32_t timeoutMilliseconds) {
    ConnectPatience patience;
    if (timeoutMilliseconds == platform::kWaitForever) return patience;
    patience.retryBudgetMilliseconds = timeoutMilliseconds;
    patience.busyWaitMilliseconds = timeoutMilliseconds;
    return patience;
}

}  // namespace mossvane::client
