// PeriodicTrigger: a module that writes a counting tick once per period, for supervision tasks
// that must run whether or not data arrives (e.g. noticing that the macro-pulse trigger stopped).
//
// Variables, relative to the module's directory:
//   <periodName>  uint32 push input, ms, normally set by operators. 0 stands for the default
//                 period given at construction; a control-system variable nobody ever set starts
//                 at 0, so the default is the initial period. A 0 written at run time is logged as
//                 a warning and also means the default, so the trigger never spins.
//   <tickName>    uint64 output: 0 as initial value at start, then 1, 2, ... one per period.
//
// Timing uses the framework clock (steadyNow/sleepFor), so TestFacility::advanceTime drives it.
// Ticks follow a fixed schedule (no drift from wake-up latency). The period is looked at after
// each tick: a change takes effect at the next tick, which still comes at the time planned
// with the old period. When the clock jumps by a whole period or more (or the thread was held up
// that long), the ticks missed are not made up: one tick is written and the schedule restarts
// from there. Every tick carries a new version number. Because the period is taken only at the
// ticks, more writes to it within one period than its queue holds count as lost transfers.
#pragma once

#include "Corvane/ApplicationModule.h"
#include "Corvane/ScalarAccessor.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_set>

namespace Corvane {

  class PeriodicTrigger : public ApplicationModule {
   public:
    /// A placeholder that takes part in nothing until a real trigger is moved over it.
    PeriodicTrigger() = default;

    /// Throws logic_error when `defaultPeriod` is 0.
    PeriodicTrigger(Module* owner, const std::string& name, const std::string& description,
        std::uint32_t defaultPeriod = 1000, const std::unordered_set<std::string>& tags = {},
        const std::string& periodName = "period", const std::string& tickName = "tick");

    PeriodicTrigger(PeriodicTrigger&&) noexcept = default;
    PeriodicTrigger& operator=(PeriodicTrigger&&) noexcept = default;

    ScalarPushInput<std::uint32_t> period;
    ScalarOutput<std::uint64_t> tick;

    void prepare() override;
    void mainLoop() override;

    std::uint32_t defaultPeriod() const { return _defaultPeriod; }

   private:
    /// The period to plan the next tick with: the newest value of the input, or the default for 0.
    std::chrono::milliseconds currentPeriod();

    std::uint32_t _defaultPeriod{1000};
  };

} // namespace Corvane
