// The activity threshold of the output vector correction: below this vector-sum amplitude it corrects nothing.
#pragma once

#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

namespace OutputVectorCorrection {

  struct Threshold : Corvane::VariableGroup {
    using Corvane::VariableGroup::VariableGroup;
    Corvane::ScalarPollInput<double> amplitude{
        this, "amplitude", "G.U.", "Minimum amplitude (vector sum) required for the OVC to become active"};
  };

} // namespace OutputVectorCorrection
