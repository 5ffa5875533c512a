// The condition variable on which module tasks wait.
//
// Module tasks run as fibers on a few worker threads: a waiting task must suspend only itself,
// so that the other tasks of its worker keep running. Boost.Fiber's condition variable does
// that inside a fiber and simply blocks a plain thread (a module with a thread of its own, the
// test thread), over an ordinary std::mutex.
//
// The sanitizers do not follow the stack switches of the Boost.Fiber library as Debian builds
// it, so sanitizer builds run every task on a thread of its own and wait on the standard
// condition variable instead (see Executor.h).
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#  define CORVANE_TASKS_ON_THREADS 1
#  include <condition_variable>
#else
#  define CORVANE_TASKS_ON_THREADS 0
#  include <boost/fiber/condition_variable.hpp>
#endif

namespace Corvane::detail {

  /// Whether module tasks share worker threads (false in sanitizer builds: one thread each).
  inline constexpr bool cooperativeTasks = CORVANE_TASKS_ON_THREADS == 0;

#if CORVANE_TASKS_ON_THREADS
  using TaskCondition = std::condition_variable_any;
#else
  using TaskCondition = boost::fibers::condition_variable_any;
#endif

} // namespace Corvane::detail
