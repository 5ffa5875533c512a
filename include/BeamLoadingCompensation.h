// Beam loading compensation: the rotation of the beam-induced signal, the operators' user
// tables, the pulse shape in samples and the limiter. Every instance type above 1 (compared
// unsigned, so negative ones too) takes the whole group out of the application. The user tables,
// pulse shape and limiter join the rotation with their implementation.
#pragma once

#include "RotationParameter.h"

#include <Corvane/ModuleGroup.h>

#include <cstdint>

class BeamLoadingCompensation : public Corvane::ModuleGroup {
 public:
  BeamLoadingCompensation(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});

  llrf::RotationParameter rotation{this, "Rotation", "", 1, 0.0, -1.0, false};

  /// Samples per pulse ("Configuration/pulseLength").
  std::uint32_t pulseLength;
};
