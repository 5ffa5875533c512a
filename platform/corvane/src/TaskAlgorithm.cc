#include "Corvane/detail/TaskAlgorithm.h"

#include <boost/fiber/context.hpp>

namespace Corvane::detail {

  void TaskAlgorithm::awakened(boost::fibers::context* context, TaskProperties&) noexcept {
    context->ready_link(_ready);
  }

  boost::fibers::context* TaskAlgorithm::pick_next() noexcept {
    if(_ready.empty()) return nullptr;
    auto* next = &_ready.front();
    _ready.pop_front();
    auto& properties = this->properties(next);
    switchTaskLocals(properties.taskName ? &properties.locals : nullptr);
    _status.runningTask.store(properties.taskName, std::memory_order_relaxed);
    _status.switches.fetch_add(1, std::memory_order_relaxed);
    return next;
  }

  bool TaskAlgorithm::has_ready_fibers() const noexcept { return !_ready.empty(); }

  void TaskAlgorithm::suspend_until(const std::chrono::steady_clock::time_point& deadline) noexcept {
    _status.runningTask.store(nullptr, std::memory_order_relaxed);
    std::unique_lock lock(_mutex);
    if(deadline == std::chrono::steady_clock::time_point::max()) {
      _wake.wait(lock, [&] { return _notified; });
    }
    else {
      _wake.wait_until(lock, deadline, [&] { return _notified; });
    }
    _notified = false;
  }

  void TaskAlgorithm::notify() noexcept {
    {
      std::lock_guard lock(_mutex);
      _notified = true;
    }
    _wake.notify_all();
  }

} // namespace Corvane::detail
