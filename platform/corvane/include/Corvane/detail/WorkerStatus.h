// What a worker thread publishes for the watchdog: the task it runs now and how often it has
// switched tasks, so that a task that keeps its worker without yielding can be named.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace Corvane::detail {

  struct WorkerStatus {
    std::atomic<const std::string*> runningTask{nullptr}; // null while the worker is idle
    std::atomic<std::uint64_t> switches{0};
  };

} // namespace Corvane::detail
