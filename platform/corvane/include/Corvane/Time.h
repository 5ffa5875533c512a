// The framework's clock. Modules take time only from here, so that the test facility can
// replace it by a clock that moves only when a test advances it.
#pragma once

#include <chrono>

namespace Corvane {

  using SteadyClock = std::chrono::steady_clock;

  /// Current time of the running application's clock (the real steady clock outside tests).
  SteadyClock::time_point steadyNow();

  /// Sleeps on the application's clock. Interrupted by shutdown (the calling module's thread
  /// then ends). Called outside a module thread it simply sleeps on the real clock.
  void sleepFor(SteadyClock::duration duration);

  template<class Rep, class Period>
  void sleepFor(std::chrono::duration<Rep, Period> duration) {
    sleepFor(std::chrono::duration_cast<SteadyClock::duration>(duration));
  }

} // namespace Corvane
