// The pulse shape: the operator's pulse timing (delay after the trigger,
// filling and flat-top durations, the continuous-wave switch) turned into
// sample indices. Publishes the three pulse indices below
// "/Controller/PulseShape/Indices", which many modules of the station read, and
// keeps the derived table indices and both phase-modulation windows for the
// other table computations (PulseIndices.h has the rules).
#pragma once

#include "TableGeneration/PulseIndices.h"
#include "TableGeneration/SubAlgo.h"

#include <Corvane/ScalarAccessor.h>
#include <Corvane/TransferElementID.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>

namespace TableGeneration {

  class PulseShape : public SubAlgo {
   public:
    using SubAlgo::SubAlgo;

    /// Registers the checks of the pulse timing with the module's input
    /// validator.
    void prepare() override;

    /// Recomputes every index, whatever changed.
    void updateParameters(const Corvane::TransferElementID& change);
    void computePulseShapeIndices();

    /// `index` + `offset` kept inside the table (the sum in 64 bits).
    std::int32_t addIndexOffset(std::int32_t index, std::int64_t offset) const;
    std::int32_t addFfDelay(std::int32_t index) const { return addIndexOffset(index, indices.ffDelaySamples); }
    std::int32_t addSpDelay(std::int32_t index) const { return addIndexOffset(index, indices.spDelaySamples); }

    /// The published pulse indices and the derived table indices (plain members).
    class Indices : public Corvane::VariableGroup, public TableIndices {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarOutput<std::int32_t> fillingStart{this, "fillingStart", "", "Start of filling period"};
      Corvane::ScalarOutput<std::int32_t> flattopStart{this, "flattopStart", "", "Start of flattop period"};
      Corvane::ScalarOutput<std::int32_t> decayStart{this, "decayStart", "", "End of flattop period + 1 sample"};
    };

    Corvane::ScalarPushInput<std::int32_t> cwMode{this, "cwMode", "",
        "If true, the pulse form parameters will be changed for contineous-wave "
        "operation"};
    Corvane::ScalarPushInputWB<double> delay{this, "delay", "us", "Delay of pulse start after trigger"};
    Corvane::ScalarPushInputWB<double> fillingDuration{this, "fillingDuration", "us", "Duration of the filling period"};
    Corvane::ScalarPushInputWB<double> flattopDuration{
        this, "flattopDuration", "us", "Duration of the flat-top period"};
    Indices indices{this, "Indices", "Sample indices"};

   private:
    /// The current inputs of one computation.
    PulseTiming timing() const;
  };

} // namespace TableGeneration
