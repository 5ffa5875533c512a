// The group "ClosedLoop": the algorithms used while feedback or learning feed-forward is on.
#pragma once

#include "OutputVectorCorrection/ClosedLoopRatioAlgo.h"
#include "OutputVectorCorrection/ClosedLoopRotationAlgo.h"
#include "OutputVectorCorrection/ClosedLoopScalingAlgo.h"
#include "OutputVectorCorrection/ForwardAlgo.h"

namespace OutputVectorCorrection {

  class ClosedLoop : public Corvane::VariableGroup {
   public:
    using ScalingAlgo = ClosedLoopAlgorithm::ScalingAlgo;
    using RotationAlgo = ClosedLoopAlgorithm::RotationAlgo;
    using RatioAlgo = ClosedLoopAlgorithm::RatioAlgo;
    using ForwardAlgo = ClosedLoopAlgorithm::ForwardAlgo;

    ClosedLoop(Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description);

    ScalingAlgo scaling;
    RotationAlgo rotation;
    RatioAlgo ratio;
    ForwardAlgo forward;
  };

} // namespace OutputVectorCorrection
