// Closed-loop flat-top/filling ratio correction: the feedback's share of the output (total minus table),
// projected on the set-point direction, is averaged in a filling and a flat-top window; the ratio moves by their
// difference relative to the largest feed-forward amplitude. It waits while loop phase or loop gain are off by
// more than the allowed errors.
#pragma once

#include "OutputVectorCorrection/AveragingWindow.h"
#include "OutputVectorCorrection/ClosedLoopSubAlgo.h"

#include <Corvane/ScalarAccessor.h>

#include <cstdint>

namespace OutputVectorCorrection::ClosedLoopAlgorithm {

  class RatioAlgo : public ClosedLoopSubAlgo<SubAlgo> {
   public:
    RatioAlgo(Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description);

    bool isEnabled() override;
    void integrate() override;
    void computeAverage() override;
    void compute() override;

    AveragingWindow averagingWindowFilling;
    AveragingWindow averagingWindowFlattop;

    Corvane::ScalarPollInput<double> maxLoopPhaseError{this, "maxLoopPhaseError", "deg",
        "Maximum allowed loop phase error (Rotation/dPhase) for this algorithm to run"};
    Corvane::ScalarPollInput<double> maxLoopGainError{this, "maxLoopGainError", "",
        "Maximum allowed loop gain error (Scaling/currentScaling-1) for this algorithm to run"};
    Corvane::ScalarOutput<double> ffTotalCorrectionFilling{this, "ffTotalCorrectionFilling", "",
        "Total feed-forward correction projected on setpoint direction, average in filling ROI"};
    Corvane::ScalarOutput<double> ffTotalCorrectionFlattop{this, "ffTotalCorrectionFlattop", "",
        "Total feed-forward correction projected on setpoint direction, average in flattop ROI"};
    Corvane::ScalarOutput<double> ffAmplitudeMaximum{
        this, "ffAmplitudeMaximum", "", "Maximum amplitude of feed-forward table"};

   private:
    /// Adds the projected correction over `window` to `sum` and `count`; false when the window is empty.
    bool integrateWindow(const AveragingWindow& window, double& sum, std::uint64_t& count, double c, double s);

    std::uint64_t _fillingCount{0};
    std::uint64_t _flattopCount{0};
    double _fillingSum{0.0};
    double _flattopSum{0.0};
  };

} // namespace OutputVectorCorrection::ClosedLoopAlgorithm
