// DataLossCounter: statistics on data lost in the application's push queues, per trigger.
//
// A push input overflows when its module does not keep up: the oldest queued value is dropped
// and counted as one lost transfer in the application-wide counter
// (Application::scheduler().lostTransfers). On every update of the trigger this module publishes,
// relative to its own directory:
//   lostDataInLastTrigger  uint64  transfers lost since the previous trigger (for the first
//                                  trigger: since the application started)
//   triggersWithDataLoss   uint64  number of triggers for which the above was not 0
// Both are 0 from the start. The trigger path follows the rules of every variable name
// (absolute, or relative to the counter's own directory); its value is not used.
// Every loss is also logged as a warning from the counter's path that names the variables and
// the modules whose queues overflowed, at most one line per second (DataLossReport).
#pragma once

#include "Corvane/Application.h"
#include "Corvane/ApplicationModule.h"
#include "Corvane/DataLossReport.h"
#include "Corvane/ScalarAccessor.h"
#include "Corvane/detail/Nodes.h"
#include "Corvane/detail/Scheduler.h"

#include <cstdint>
#include <string>
#include <unordered_set>

namespace Corvane {

  template<class TriggerType>
  class DataLossCounter : public ApplicationModule {
   public:
    /// A placeholder that takes part in nothing until a real counter is moved over it.
    DataLossCounter() = default;

    DataLossCounter(Module* owner, const std::string& name, const std::string& description,
        const std::string& triggerPath, const std::unordered_set<std::string>& tags = {})
    : ApplicationModule(owner, name, description, tags),
      trigger(this, triggerPath, "", "Trigger on which the lost data is counted") {}

    DataLossCounter(DataLossCounter&&) noexcept = default;
    DataLossCounter& operator=(DataLossCounter&&) noexcept = default;

    ScalarPushInput<TriggerType> trigger;
    ScalarOutput<std::uint64_t> lostDataInLastTrigger{
        this, "lostDataInLastTrigger", "", "Number of data transfers lost since the previous trigger"};
    ScalarOutput<std::uint64_t> triggersWithDataLoss{
        this, "triggersWithDataLoss", "", "Number of triggers with lost data transfers"};

    void prepare() override {
      _report.collect(Application::getInstance());
      _counted = totalLost();
      lostDataInLastTrigger = 0;
      triggersWithDataLoss = 0;
      writeAll();
    }

    void mainLoop() override {
      while(true) {
        trigger.read();
        auto total = totalLost();
        lostDataInLastTrigger = total - _counted;
        _counted = total;
        if(lostDataInLastTrigger != 0) {
          triggersWithDataLoss = triggersWithDataLoss + 1;
          _report.attribute();
        }
        writeAll();
        _report.logIfDue(steadyNow(), entityNode()->directory());
      }
    }

   private:
    static std::uint64_t totalLost() { return Application::getInstance().scheduler().lostTransfers.load(); }

    /// The application-wide count at the previous trigger.
    std::uint64_t _counted{0};
    DataLossReport _report;
  };

} // namespace Corvane
