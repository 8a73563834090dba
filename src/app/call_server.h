// The pipe client of the Open and Exit verbs: one request to the user's
// running server and its reply.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mossvane {

// Results of CallServer.
inline constexpr int kCallServerDone = 0;         // written; reply read or read failed
inline constexpr int kCallServerWriteFailed = 1;  // pipe mode or write failed, or a
                                                  // server of another user
inline constexpr int kCallServerNoInstance = 5;   // no instance within the retry budget
inline constexpr int kCallServerStayedBusy = 6;   // busy for the whole 20-second wait

// The retry budget while the pipe does not exist yet, in 100 ms steps.
inline constexpr std::uint32_t kCallServerRetryBudgetMilliseconds = 20000;
inline constexpr std::uint32_t kCallServerRetryStepMilliseconds = 100;
inline constexpr std::uint32_t kCallServerBusyWaitMilliseconds = 20000;

// Sends requestText with its terminating null in one write and collects what
// the server answers into reply (emptied first).
int CallServer(std::u16string_view pipeName, std::u16string& reply,
               std::u16string_view requestText);

}  // namespace mossvane
