// The pulse in samples: from the operator's pulse timing (microseconds after
// the trigger) and the sampling frequency, the three published pulse indices
// and the derived indices that the table computations read (the feed-forward
// and set-point tables' filling, smoothing edges, flat-top and decay, each
// shifted by its table's delay, and both phase-modulation windows). Plain
// computation, no state.
//
// Every time becomes a sample count without undefined behaviour: counts
// saturate at the limits of int32 (a modulation time is unbounded while its
// modulation is off), and derived indices are kept inside the table. The
// published decayStart is never clamped in pulsed mode.
#pragma once

#include <cstdint>
#include <functional>

namespace TableGeneration {

  /// The values one index computation reads.
  struct PulseTiming {
    double samplingFrequency{}; // MHz
    std::int32_t cwMode{}; // not 0: continuous wave
    double delay{}, fillingDuration{}, flattopDuration{}; // us
    double feedForwardDelay{}, setPointDelay{}; // us
    std::int32_t riseFunction{}, stepFunction{}, fallFunction{}; // 0 switches an edge off
    double riseTime{}, stepTime{}, fallTime{}; // us
    bool setPointSmoothEnable{};
    double feedForwardModulationStart{}, feedForwardModulationStop{}; // us after the table's filling start
    double setPointModulationStart{}, setPointModulationStop{}; // us after the table's filling start
  };

  /// The derived table indices: sample indices of the feed-forward and set-point
  /// tables, in [0, pulseLength - 1] (the decay begins may be pulseLength itself
  /// in continuous-wave mode).
  struct TableIndices {
    std::int32_t ffDelaySamples{0};
    std::int32_t spDelaySamples{0};
    std::int32_t riseSamples{0};
    std::int32_t stepSamples{0};
    std::int32_t fallSamples{0};
    std::int32_t ffFillingBegin{0};
    std::int32_t ffRiseEnd{0};
    std::int32_t ffStepBegin{0};
    std::int32_t ffStepEnd{0};
    std::int32_t ffDecayBegin{0};
    std::int32_t ffFallEnd{0};
    std::int32_t spFillingBegin{0};
    std::int32_t spFlattopBegin{0};
    std::int32_t spDecayBegin{0};
  };

  /// A phase-modulation window: first and last sample.
  struct ModulationWindow {
    std::int32_t start{0};
    std::int32_t stop{0};
    friend bool operator==(const ModulationWindow&, const ModulationWindow&) = default;
  };

  /// Everything one computation yields.
  struct PulseIndices {
    std::int32_t fillingStart{0};
    std::int32_t flattopStart{0};
    std::int32_t decayStart{0}; // one past the flat-top's last sample
    TableIndices table;
    ModulationWindow feedForwardModulation;
    ModulationWindow setPointModulation;
  };

  /// Called when a consistency check fails, with the checked expression and the
  /// line that names it in reports; the computation then repairs the index and
  /// goes on.
  using ConsistencyReport = std::function<void(const char* conditionText, int line)>;

  /// The indices of a pulse of `pulseLength` samples.
  PulseIndices computePulseIndices(
      const PulseTiming& timing, std::uint64_t pulseLength, const ConsistencyReport& report);

} // namespace TableGeneration
