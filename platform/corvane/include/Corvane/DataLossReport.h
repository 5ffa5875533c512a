// Names the data a DataLossCounter counts as lost and logs it: which push queues overflowed
// (the variable and the module that did not keep up) and how often. One warning line at most
// per second; losses within that second are summed into the next line, which follows as soon
// as the second has passed, so every loss is reported.
//
// Used by the DataLossCounter's own thread only. The queues' counters are read only when the
// application-wide count moved, so a loss-free pulse costs nothing here.
#pragma once

#include "Corvane/LogRateLimit.h"
#include "Corvane/Time.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Corvane {

  class Application;

  namespace detail {
    class ReceiveChannel;
  }

  class DataLossReport {
   public:
    /// Collects the push queues of the application's connected network.
    void collect(Application& app);

    /// Attributes the losses counted since the last call to their queues (call when the
    /// application-wide count moved).
    void attribute();

    /// Logs one warning from `source` when losses are pending and the last line is a second old.
    void logIfDue(SteadyClock::time_point now, const std::string& source);

   private:
    struct Queue {
      std::shared_ptr<detail::ReceiveChannel> channel;
      std::string name;
      std::uint64_t seen{0};
    };

    std::vector<Queue> _queues;
    /// Losses not yet logged, by queue name.
    std::map<std::string, std::uint64_t> _pending;
    LogRateLimit _limit;
  };

} // namespace Corvane
