// One value of a process variable as a shared, immutable snapshot: what the control system
// holds as a variable's newest value, and what poll inputs of the same type share with it, so
// that one write of a large array is copied at most once however many of them receive it.
#pragma once

#include "Corvane/Types.h"
#include "Corvane/VersionNumber.h"

#include <cstdint>
#include <vector>

namespace Corvane {

  /// Never changed once published.
  template<class T>
  struct ControlSystemValue {
    std::vector<T> data;
    VersionNumber version{nullptr};
    DataValidity validity{DataValidity::ok};
    /// Number of values that had arrived at the control system's side of the variable when this
    /// one arrived (1 for the first); set by the control system before it publishes the value.
    std::uint64_t sequence{0};
  };

} // namespace Corvane
