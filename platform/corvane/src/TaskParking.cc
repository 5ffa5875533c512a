#include "Corvane/detail/TaskParking.h"

#if !CORVANE_TASKS_ON_THREADS
#  include <boost/fiber/context.hpp>
#endif

namespace Corvane::detail {

#if CORVANE_TASKS_ON_THREADS

  void TaskParking::park(std::unique_lock<std::mutex>& lock) { _parked.wait(lock); }

  void TaskParking::wake() noexcept { _parked.notify_all(); }

#else

  void TaskParking::park(std::unique_lock<std::mutex>& lock) {
    auto* self = boost::fibers::context::active();
    _parked.store(self, std::memory_order_release);
    lock.unlock();
    self->suspend();
    lock.lock();
  }

  void TaskParking::wake() noexcept {
    auto* parked = _parked.exchange(nullptr, std::memory_order_acq_rel);
    if(parked) boost::fibers::context::active()->schedule(parked);
  }

#endif

} // namespace Corvane::detail
