#include "Corvane/DataLossReport.h"

#include "Corvane/Application.h"
#include "Corvane/Logger.h"
#include "Corvane/detail/Network.h"

#include <algorithm>

namespace Corvane {

  namespace {
    /// Queues named in one line at most; the rest are summed up.
    constexpr std::size_t namedQueuesPerLine = 8;
  } // namespace

  void DataLossReport::collect(Application& app) {
    _queues.clear();
    _pending.clear();
    for(auto& [path, variable] : app.network().variables()) {
      for(auto& participant : variable->participants) {
        auto& channel = participant.receiver;
        if(!channel || channel->kind() != detail::ReceiveChannel::Kind::pushQueue) continue;
        std::string reader = "a reader";
        if(participant.accessor && participant.accessor->owner) {
          auto* module = participant.accessor->owner->owningModule();
          // the directory its variables are named in: the module's path as users see it; a module
          // named "." at the top has none of its own, its description tells it apart
          auto* node = module ? module : participant.accessor->owner;
          reader = node->directory();
          if(reader == "/" && !node->description.empty()) reader += " \"" + node->description + "\"";
        }
        _queues.push_back(Queue{channel, path + " (read by " + reader + ")", channel->lostTransfers()});
      }
    }
  }

  void DataLossReport::attribute() {
    std::uint64_t named = 0;
    for(auto& queue : _queues) {
      auto lost = queue.channel->lostTransfers();
      if(lost == queue.seen) continue;
      _pending[queue.name] += lost - queue.seen;
      named += lost - queue.seen;
      queue.seen = lost;
    }
    _limit.note(named);
  }

  void DataLossReport::logIfDue(SteadyClock::time_point now, const std::string& source) {
    std::uint64_t covered = 0;
    if(!_limit.due(now, covered)) return;
    std::vector<std::pair<std::uint64_t, std::string>> byCount;
    for(auto& [name, lost] : _pending) byCount.emplace_back(lost, name);
    _pending.clear();
    std::stable_sort(byCount.begin(), byCount.end(), [](auto& a, auto& b) { return a.first > b.first; });
    auto line = logger(Logger::Severity::warning, source);
    line << covered << " data transfer" << (covered == 1 ? "" : "s")
         << " lost (a reader did not keep up, the oldest queued value was dropped): ";
    for(std::size_t k = 0; k < byCount.size() && k < namedQueuesPerLine; ++k) {
      line << (k ? ", " : "") << byCount[k].second << " x" << byCount[k].first;
    }
    if(byCount.size() > namedQueuesPerLine) line << " and " << byCount.size() - namedQueuesPerLine << " more queues";
  }

} // namespace Corvane
