// Named timers in simulated time (picoseconds), each bound to an action (a simulated board binds
// them to its events), and the group's current time.
//
// A timer is armed to fire at a time (set relative to the current time); firing disarms it, and
// its action may arm it (or another timer) again. Advancing the group moves its time forward in
// steps: each step goes to the nearest expiry of an armed timer (or the end of the advance),
// then fires, in the order the timers were added, every timer due by then. So with the timers
// "trigger" and "strobe" added in this order, a step fires the trigger before the strobe, and a
// strobe that the trigger's action arms for "now" fires in that same step.
//
// Not thread-safe: a simulated board steps it under its mutex (see VirtualLabBackend).
#pragma once

#include "Corvane/VirtualLab/SimulatedTime.h"

#include <functional>
#include <string>
#include <deque>

namespace Corvane::VirtualLab {

  class TimerGroup {
   public:
    using Action = std::function<void()>;

    /// Adds a disarmed timer; Corvane::logic_error when the name is taken.
    void addTimer(const std::string& name, Action action);

    /// Arms a timer to fire `delay` ps after the current time (0: due now).
    void setTimer(const std::string& name, Picoseconds delay);
    void disarm(const std::string& name);
    bool isArmed(const std::string& name) const;

    /// Expiry minus the current time (negative once overdue); Corvane::logic_error when disarmed.
    Picoseconds getRemaining(const std::string& name) const;

    Picoseconds getCurrentTime() const { return _now; }

    /// Moves the time forward by `amount` ps, firing timers step by step (see above). A due timer
    /// fires also for an amount of 0. Corvane::logic_error for a negative amount.
    void advance(Picoseconds amount);

    /// Advances to the expiry of the named timer (inclusive); nothing when it is disarmed or overdue.
    void advanceToTimer(const std::string& name);

    /// One step of an advance with `amountLeft` still to go, which it reduces; true while more
    /// remains. For callers that must release a lock between steps.
    bool step(Picoseconds& amountLeft);

    /// The amount advanceToTimer moves for `name`, or -1 when it moves nothing.
    Picoseconds amountToTimer(const std::string& name) const;

   private:
    struct Timer {
      std::string name;
      Action action;
      bool armed{false};
      Picoseconds expiry{0};
    };

    Timer& timer(const std::string& name);
    const Timer& timer(const std::string& name) const;

    std::deque<Timer> _timers; // a deque: actions keep their place while timers are added
    Picoseconds _now{0};
  };

} // namespace Corvane::VirtualLab
