// A point in time by which a client call must be done. Every blocking step of
// the client side takes one, so a caller can bound a whole exchange (a
// GETINFO that waits for the user, a job to a server that stopped reading)
// as well as leave it without a limit, as the command verbs do.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/pipe.h"

namespace mossvane::client {

class Deadline {
  public:
    using Clock = std::chrono::steady_clock;

    // No limit at all.
    static Deadline Never() { return Deadline(); }

    // milliseconds from now; platform::kWaitForever means no limit.
    static Deadline After(std::uint32_t milliseconds) {
        Deadline deadline;
        if (milliseconds != platform::kWaitForever) {
            deadline.m_limited = true;
            deadline.m_at = Clock::now() + std::chrono::milliseconds(milliseconds);
        }
        return deadline;
    }

    // A duration from now, with the same limit where it is too long to count.
    static Deadline After(std::chrono::milliseconds duration) {
        const auto milliseconds = std::clamp<std::chrono::milliseconds::rep>(
            duration.count(), 0, platform::kWaitForever - 1);
        return After(static_cast<std::uint32_t>(milliseconds));
    }

    bool IsLimited() const { return m_limited; }
    bool HasPassed() const { return m_limited && Clock::now() >= m_at; }

    // What is left, in the form the platform's waits take: kWaitForever
    // without a limit, 0 once the deadline has passed.
    std::uint32_t RemainingMilliseconds() const {
        if (!m_limited) return platform::kWaitForever;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_at - Clock::now());
        return static_cast<std::uint32_t>(
            std::clamp<std::int64_t>(left.count(), 0, platform::kWaitForever - 1));
    }

    // The earlier of this and `milliseconds` from now.
    std::uint32_t RemainingAtMost(std::uint32_t milliseconds) const {
        return std::min(RemainingMilliseconds(), milliseconds);
    }

  private:
    Deadline() = default;
    bool m_limited = false;
    Clock::time_point m_at{};
};

}  // namespace mossvane::client
