// Common base of the closed-loop algorithms, over the base they need (with or without one averaging window):
// enabled while the module and the algorithm are enabled and feedback or learning feed-forward is on.
#pragma once

#include "OutputVectorCorrection/SubAlgoAW.h"

namespace OutputVectorCorrection::ClosedLoopAlgorithm {

  template<class Base>
  class ClosedLoopSubAlgo : public Base {
   public:
    using Base::Base;
    bool isEnabled() override { return this->loopRuleHolds(true); }
  };

} // namespace OutputVectorCorrection::ClosedLoopAlgorithm
