// The sample-by-sample arithmetic of the simulated controller board's regulation loop: one
// sample of set point, feed-forward, gain, error, proportional term, integral and drive output
// from the previous sample, plus the detection of an input channel. The board (SISLDummy) reads
// its tables, registers and input signals and hands them over; nothing here touches a register.
//
// Plain functions without state, safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace RegulationLoop {

  /// Number of samples of one simulated pulse.
  inline constexpr std::int32_t nSamples = 16384;
  /// Bound of the drive before its conversion to the output (the DAC's range in counts).
  inline constexpr double driveBound = 131072.0;

  /// One simulated sample of the loop (the board's state set keeps one per computed time).
  struct State {
    std::int32_t sampleIndex{0};
    bool active{false};
    double feedForwardI{0.0}, feedForwardQ{0.0};
    double setpointI{0.0}, setpointQ{0.0};
    double gainI{0.0}, gainQ{0.0};
    double vectorSumI{0.0}, vectorSumQ{0.0};
    double errorI{0.0}, errorQ{0.0};
    double proportionalI{0.0}, proportionalQ{0.0};
    double integralI{0.0}, integralQ{0.0};
    double driveI{0.0}, driveQ{0.0};
  };

  /// Enables and register values the drive is computed with, as read at the sample.
  struct Settings {
    bool feedbackEnabled{false};
    bool integratorEnabled{false};
    bool feedForwardEnabled{false};
    double limitI{0.0}, limitQ{0.0};         ///< proportional-term limits; a negative one acts as its magnitude
    double dacOffsetI{0.0}, dacOffsetQ{0.0}; ///< added after the drive bound
    double vmOffsetI{0.0}, vmOffsetQ{0.0};   ///< the vector modulator's own offsets, added with the DAC offsets
    double outputRotationRe{0.0}, outputRotationIm{0.0};
    double driveAttenuationFactor{1.0}; ///< 10^(dB/10) of the drive attenuator
    double driveGain{0.0};
    double finalRotationCos{1.0}, finalRotationSin{0.0}; ///< cos and sin of the output phase offset
    double outputAmplitudeFactor{1.0};
  };

  /// Which zero-drive checks failed: feed-forward on, its table positive at the sample, and
  /// the drive's I exactly 0 after the sum (A), the output rotation (B) or the final rotation (C).
  struct ZeroDriveChecks {
    bool a{false}, b{false}, c{false};
    bool any() const { return a || b || c; }
  };

  /// Sample index and activity of the state after one with `previousIndex`: counts up to the
  /// pulse's last sample, then stays there inactive until a state at a trigger time restarts at 0.
  void advanceIndex(std::int32_t previousIndex, bool atTrigger, State& next);

  /// The table entry played at `sampleIndex` by a firmware that plays `tableLength` entries and then holds the
  /// last one (a length of 0 plays entry 0 alone).
  std::size_t tableIndex(std::int32_t sampleIndex, std::size_t tableLength);

  /// Error, proportional term, integral and drive of `next`, whose tables are filled already,
  /// from the previous sample. `elapsedSamples` is the time since `previous` in sample periods.
  ZeroDriveChecks computeDrive(const State& previous, State& next, double elapsedSamples, const Settings& settings);

  struct IQ {
    double i{0.0};
    double q{0.0};
  };

  /// An input as the board detects it: divided by its attenuation factor, then turned by the
  /// detection rotation (cos, sin).
  IQ detect(IQ input, double attenuationFactor, double cosine, double sine);

  /// Attenuation in dB for a raw attenuator value: (63 - value) * stepDb, limited to [0, 63 * stepDb];
  /// a value that is not a number gives the largest attenuation.
  double attenuationFromRegister(double value, double stepDb);

  /// The factor an attenuation divides a signal by: 10^(dB/10).
  double attenuationFactor(double attenuationDb);

} // namespace RegulationLoop
