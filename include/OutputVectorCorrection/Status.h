// Status of the output vector correction: the algorithm's status with the reason, and the last message of the
// operator-input checks.
#pragma once

#include <Corvane/AggregatableMessage.h>
#include <Corvane/StatusWithMessage.h>
#include <Corvane/VariableGroup.h>

namespace OutputVectorCorrection {

  struct Status : Corvane::VariableGroup {
    using Corvane::VariableGroup::VariableGroup;
    Corvane::StatusWithMessage algorithmStatus{this, "algorithmStatus", "Algorithm status"};
    Corvane::AggregatableMessage validationError{this, "validationError", "", "User input validation error message"};
  };

} // namespace OutputVectorCorrection
