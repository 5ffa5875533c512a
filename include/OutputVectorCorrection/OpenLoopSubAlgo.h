// Common base of the open-loop algorithms: enabled while the module and the algorithm are enabled and neither
// feedback nor learning feed-forward is on.
#pragma once

#include "OutputVectorCorrection/SubAlgoAW.h"

namespace OutputVectorCorrection::OpenLoopAlgorithm {

  class OpenLoopSubAlgo : public SubAlgoAW {
   public:
    using SubAlgoAW::SubAlgoAW;
    bool isEnabled() override;
  };

} // namespace OutputVectorCorrection::OpenLoopAlgorithm
