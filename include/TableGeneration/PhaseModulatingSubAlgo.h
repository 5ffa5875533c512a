// Common base of the feed-forward and set-point sub-algorithms: both give every
// sample of their table a phase by one rule (PhaseRule.h), each with its own
// phase-modulation parameters ("/Controller/PhaseModulation/ FeedForward" and
// ".../Setpoint") and its own modulation window, which the pulse shape
// computes.
#pragma once

#include "TableGeneration/ModulationParams.h"
#include "TableGeneration/SubAlgo.h"

#include <cstdint>
#include <string>

namespace TableGeneration {

  class PhaseModulatingSubAlgo : public SubAlgo {
   public:
    PhaseModulatingSubAlgo(TGenMain* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags);

    /// The phase of sample `i` (0 <= i < pulseLength) in degrees, from the
    /// current values; reports broken invariants through safeAssert.
    double modulatePhase(std::int32_t i) const;

    /// "Setpoint" for the group named "SetPoint", otherwise the group's own name.
    std::string modulationGroupName;
    ModulationParams modulationParams;
    /// First and last sample of the modulation window, written by the pulse
    /// shape.
    std::int32_t modulationStart{0};
    std::int32_t modulationStop{0};

   protected:
    /// Registers the checks of this table's modulation parameters with the
    /// module's validator; `table` ("Feed-forward", "Setpoint") starts their
    /// messages.
    void addModulationRules(const std::string& table);

   private:
    bool isSetPoint() const;
  };

} // namespace TableGeneration
