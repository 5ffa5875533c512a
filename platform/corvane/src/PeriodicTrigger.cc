#include "Corvane/PeriodicTrigger.h"

#include "Corvane/Exception.h"
#include "Corvane/Logger.h"
#include "Corvane/Time.h"

namespace Corvane {

  PeriodicTrigger::PeriodicTrigger(Module* owner, const std::string& name, const std::string& description,
      std::uint32_t defaultPeriod, const std::unordered_set<std::string>& tags, const std::string& periodName,
      const std::string& tickName)
  : ApplicationModule(owner, name, description, tags),
    period(this, periodName, "ms",
        "Period of the trigger in ms (0: the default of " + std::to_string(defaultPeriod) + " ms)"),
    tick(this, tickName, "", "Counter incremented once per period"), _defaultPeriod(defaultPeriod) {
    if(defaultPeriod == 0) {
      throw logic_error("PeriodicTrigger " + getQualifiedName() + ": the default period must be at least 1 ms");
    }
  }

  void PeriodicTrigger::prepare() {
    // readers of the tick get their initial value at once instead of one period later
    tick = 0;
    tick.write();
  }

  std::chrono::milliseconds PeriodicTrigger::currentPeriod() {
    bool changed = period.readLatest();
    if(period != 0) return std::chrono::milliseconds(period.value());
    if(changed) {
      logger(Logger::Severity::warning, getQualifiedName())
          << "period 0 ms is not a valid period, using the default of " << _defaultPeriod << " ms";
    }
    return std::chrono::milliseconds(_defaultPeriod);
  }

  void PeriodicTrigger::mainLoop() {
    auto last = steadyNow();
    while(true) {
      auto interval = currentPeriod();
      auto due = last + interval;
      auto now = steadyNow();
      if(due > now) sleepFor(due - now);
      now = steadyNow();
      last = now - due >= interval ? now : due;
      // a tick is a new event, not a consequence of the period setting that was read
      setCurrentVersionNumber(VersionNumber{});
      tick = tick + 1;
      tick.write();
    }
  }

} // namespace Corvane
