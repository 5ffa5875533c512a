// The group "OpenLoop": the algorithms used while feedback and learning feed-forward are both off.
#pragma once

#include "OutputVectorCorrection/OpenLoopRatioAlgo.h"
#include "OutputVectorCorrection/OpenLoopRotationAlgo.h"
#include "OutputVectorCorrection/OpenLoopScalingAlgo.h"

namespace OutputVectorCorrection {

  class OpenLoop : public Corvane::VariableGroup {
   public:
    using ScalingAlgo = OpenLoopAlgorithm::ScalingAlgo;
    using RotationAlgo = OpenLoopAlgorithm::RotationAlgo;
    using RatioAlgo = OpenLoopAlgorithm::RatioAlgo;

    OpenLoop(Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description);

    ScalingAlgo scaling;
    RotationAlgo rotation;
    RatioAlgo ratio;
  };

} // namespace OutputVectorCorrection
