#include "Corvane/VirtualLab/EventQueue.h"

#include <Corvane/Logger.h>
#include <Corvane/Time.h>

namespace Corvane::VirtualLab {

  void EventQueue::process(Action action) {
    _queue.push_back(std::move(action));
    if(_processing) return;
    _processing = true;
    try {
      while(!_queue.empty()) {
        Action next = std::move(_queue.front());
        _queue.pop_front();
        runLogged(next);
      }
    }
    catch(...) {
      _queue.clear();
      _processing = false;
      throw;
    }
    _processing = false;
  }

  void EventQueue::runLogged(const Action& action) {
    try {
      action();
    }
    catch(const std::exception& e) {
      ++_exceptionCount;
      std::uint64_t covered = 0;
      if(_logLimit.noteAndCheck(steadyNow(), covered)) {
        logger(Logger::Severity::error, _owner)
            << "event action failed: " << e.what()
            << (covered > 1 ? " (" + std::to_string(covered - 1) + " more failures since the last line)" : "");
      }
    }
  }

} // namespace Corvane::VirtualLab
