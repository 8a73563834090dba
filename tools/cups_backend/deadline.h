// A point in time by which a wait must end. Each blocking step of the
// backend waits at most until its deadline: a server that never answers or
// stops reading must not hold the queue for everyone behind the job.
#pragma once

#include <chrono>

namespace mossvane::cups {

class Deadline {
  public:
    using Clock = std::chrono::steady_clock;

    static Deadline After(Clock::duration wait) { return Deadline(Clock::now() + wait); }

    bool HasPassed() const { return Clock::now() >= m_end; }

    // What is left, in whole milliseconds rounded up (so poll never wakes
    // early and spins), at least 0; capped to fit poll's int argument.
    int RemainingMilliseconds() const {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(m_end - Clock::now()).count();
        if (left <= 0) return 0;
        constexpr long long kMaxPoll = 0x7FFFFFFF;
        return static_cast<int>(left < kMaxPoll ? left : kMaxPoll);
    }

  private:
    explicit Deadline(Clock::time_point end) : m_end(end) {}
    Clock::time_point m_end;
};

}  // namespace mossvane::cups
