// Scheduling of the fibers of one worker thread: first come, first run (a ready queue in the
// order in which fibers became ready, so that one worker runs its tasks in a defined order).
// At each switch it makes the picked task's framework state current and tells the watchdog.
#pragma once

#include "Corvane/detail/TaskProperties.h"
#include "Corvane/detail/WorkerStatus.h"

#include <boost/fiber/algo/algorithm.hpp>
#include <boost/fiber/scheduler.hpp>

#include <condition_variable>
#include <mutex>

namespace Corvane::detail {

  class TaskAlgorithm : public boost::fibers::algo::algorithm_with_properties<TaskProperties> {
   public:
    explicit TaskAlgorithm(WorkerStatus& status) : _status(status) {}

    void awakened(boost::fibers::context* context, TaskProperties& properties) noexcept override;
    boost::fibers::context* pick_next() noexcept override;
    bool has_ready_fibers() const noexcept override;
    void suspend_until(const std::chrono::steady_clock::time_point& deadline) noexcept override;
    void notify() noexcept override;

   private:
    WorkerStatus& _status;
    boost::fibers::scheduler::ready_queue_type _ready;
    std::mutex _mutex;
    std::condition_variable _wake;
    bool _notified{false};
  };

} // namespace Corvane::detail
