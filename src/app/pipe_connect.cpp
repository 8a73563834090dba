#include "app/pipe_connect.h"

#include "platform/system_info.h"

namespace mossvane {

ConnectResult ConnectWithRetries(std::u16string_view pipeName, const ConnectPatience& patience,
                                 platform::PipeConnection& connection,
                                 platform::ErrorCode& lastError) {
    std::uint32_t budget = patience.retryBudgetMilliseconds;
    for (;;) {
        lastError = platform::ConnectToPipe(pipeName, connection);
        if (lastError == platform::kSuccess) return ConnectResult::Connected;
        if (lastError == platform::kUntrustedServer) return ConnectResult::UntrustedServer;
        if (lastError == platform::kPipeBusy) {
            const platform::ErrorCode waitError =
                platform::WaitForPipe(pipeName, patience.busyWaitMilliseconds);
            if (waitError != platform::kSuccess) {
                lastError = waitError;
                return ConnectResult::StayedBusy;
            }
            continue;
        }
        if (budget < patience.retryStepMilliseconds) return ConnectResult::NoInstance;
        platform::SleepMilliseconds(patience.retryStepMilliseconds);
        budget -= patience.retryStepMilliseconds;
    }
}

}  // namespace mossvane
