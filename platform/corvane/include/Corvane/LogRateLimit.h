// Keeps a repeated warning to at most one log line per interval for one source: the first
// occurrence may be logged at once; occurrences within the interval after a line are counted
// and covered by the next line, which is due as soon as the interval has passed (whether or
// not more occurrences came meanwhile), so no occurrence goes unreported.
//
// The caller passes the time: module code passes the framework clock (steadyNow()), so that
// tests step it. Thread-safe.
#pragma once

#include "Corvane/Time.h"

#include <cstdint>
#include <mutex>

namespace Corvane {

  class LogRateLimit {
   public:
    explicit LogRateLimit(SteadyClock::duration interval = std::chrono::seconds(1)) : _interval(interval) {}
    /// Moves the counts (while nobody else uses either object, e.g. when its module is moved).
    LogRateLimit(LogRateLimit&& other) noexcept;
    LogRateLimit& operator=(LogRateLimit&& other) noexcept;

    /// Notes `count` more occurrences.
    void note(std::uint64_t count = 1);

    /// True when occurrences are pending and no line was written within the interval before
    /// `now`; the caller then writes one line. `covered` receives the pending count, which
    /// starts again from 0.
    bool due(SteadyClock::time_point now, std::uint64_t& covered);

    /// note(count), then due(now, covered).
    bool noteAndCheck(SteadyClock::time_point now, std::uint64_t& covered, std::uint64_t count = 1);

   private:
    bool dueLocked(SteadyClock::time_point now, std::uint64_t& covered);

    std::mutex _mutex;
    SteadyClock::duration _interval;
    std::uint64_t _pending{0};
    bool _logged{false};
    SteadyClock::time_point _lastLine{};
  };

} // namespace Corvane
