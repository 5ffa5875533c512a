// What a worker knows about each fiber it runs: whether it is a module task, its name for
// reports, and the framework state that becomes current while it runs.
#pragma once

#include "Corvane/detail/Scheduler.h"

#include <boost/fiber/properties.hpp>

#include <string>

namespace Corvane::detail {

  class TaskProperties : public boost::fibers::fiber_properties {
   public:
    explicit TaskProperties(boost::fibers::context* context) : fiber_properties(context) {}

    /// Null for the worker's own fibers (its main fiber, the dispatcher).
    const std::string* taskName{nullptr};
    TaskLocals locals;
  };

} // namespace Corvane::detail
