// The arithmetic of the RF automation's steps, apart from its state machine: the limited ramp and
// continuous-wave steps, the output vector correction of the automation's cascade input, and the
// coordinate transform of the vector-modulator offset calibration. Plain functions without state.
#pragma once

#include <complex>
#include <optional>

namespace AutomationNumerics {

  /// One step of a ramp from `current` towards `target` by `stepSize`.
  struct RampStep {
    double value;
    /// The target is reached: this is the ramp's last step.
    bool reached;
  };

  /// current + stepSize, or the target once that reaches or passes it (a ramp starting at or beyond its target
  /// reaches it at once, also downwards). nullopt when the step is not a finite positive number or the target is
  /// not finite: such a ramp would never end or would send a non-finite value.
  std::optional<RampStep> rampStep(double current, double stepSize, double target);

  /// `difference` limited to the magnitude of `maxStep`, keeping its sign. A non-finite `maxStep` limits
  /// nothing: callers refuse it first.
  double limitedStep(double difference, double maxStep);

  /// The ratio between the wanted and the present drive seen with feed-forward alone: 1 + error / vectorSum.
  std::complex<double> openLoopRatio(std::complex<double> error, std::complex<double> vectorSum);
  /// The same ratio in closed loop, from the proportional output divided by the gain (`correction`):
  /// vectorSum / (vectorSum - correction).
  std::complex<double> closedLoopRatio(std::complex<double> correction, std::complex<double> vectorSum);

  /// One correction of the cascade input: its scale is multiplied by `factor`, `angleStep` (deg) added to its angle.
  struct OutputCorrection {
    double factor;
    double angleStep;
  };
  /// The correction that `ratio` asks for, its magnitude limited to 1 +- rateScale and its phase to +-ratePhase.
  OutputCorrection outputCorrection(std::complex<double> ratio, double rateScale, double ratePhase);

  /// Scale and rotation (rad) from vector-sum coordinates into DAC-offset coordinates, with the two vectors
  /// they come from (amplitude and phase in rad of the measured and of the applied offset step).
  struct OffsetTransform {
    double measuredAmplitude, measuredPhase;
    double offsetAmplitude, offsetPhase;
    double scale;
    double angle;
  };
  /// The transform measured by moving both DAC offsets from -maxIandQ/2 to +maxIandQ/2, which moved the vector
  /// sum by `measuredDelta`. The angle carries an extra half turn, so that the correction opposes what it sees.
  OffsetTransform offsetTransform(std::complex<double> measuredDelta, double maxIandQ);

} // namespace AutomationNumerics
