// Closed-loop forward-only correction: the amplification from the vector modulator's drive (the total output
// with the DAC offsets and the output calibration taken out) to the forward vector sum is averaged and compared
// with a stored reference point; scale and angle move to bring it back. Its averages are formed on every trigger,
// enabled or not, so they always show the current amplification.
#pragma once

#include "OutputVectorCorrection/ClosedLoopSubAlgo.h"

#include <Corvane/ScalarAccessor.h>

#include <complex>

namespace OutputVectorCorrection::ClosedLoopAlgorithm {

  class ForwardAlgo : public ClosedLoopSubAlgo<SubAlgoAW> {
   public:
    ForwardAlgo(Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description);

    void integrate() override;
    void computeAverage() override;
    void compute() override;
    /// The current average becomes the reference point.
    void storeReference();

    Corvane::ScalarOutput<double> amplification{
        this, "amplification", "", "Ratio of vector modulator and forward vector sum amplitudes"};
    Corvane::ScalarOutput<double> phaseDifference{
        this, "phaseDifference", "deg", "Difference of vector modulator and forward vector sum phases"};
    Corvane::ScalarOutput<double> delta{this, "delta", "", "Deviation of current measurement to reference point"};

    struct ReferencePoint : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPollInput<std::int32_t> autoStore{this, "autoStore", "",
          "Set to 1 to automatically store a reference point when switching to the forward-only algorithm (e.g. "
          "on closing the loop)."};
      Corvane::ScalarPushInput<std::int32_t> store{this, "store", "", "Write any value to store a reference point"};
      std::complex<double> reference{};
      Corvane::ScalarOutput<double> amplification{
          this, "amplification", "a.u.", "Amplification between VM drive signal and forward vector sum"};
      Corvane::ScalarOutput<double> phaseDifference{
          this, "phaseDifference", "deg", "Phase difference between VM drive signal and forward vector sum"};
    } referencePoint;

   private:
    std::complex<double> _amplificationSum{};
    std::complex<double> _amplificationAverage{};
  };

} // namespace OutputVectorCorrection::ClosedLoopAlgorithm
