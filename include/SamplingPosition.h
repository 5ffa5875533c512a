// The sample indices that the signal-processing modules share: first and last sample of the
// flat-top, and the one global sampling position (sample index and its time) placed at an
// operator offset from the flat-top start and kept inside the pulse. Computed from the pulse
// timing of the controller and the sampling frequency of the sampling scheme.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <optional>

class SamplingPosition : public Corvane::ApplicationModule {
 public:
  /// Throws Corvane::logic_error naming key and file for a pulse length of 0 (no sample to place
  /// the position on) or above ConfigurationLimits::maxPulseLength.
  SamplingPosition(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  ~SamplingPosition() override;

  /// The controller's pulse timing, in microseconds from the trigger.
  class PulseShape : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;
    ~PulseShape() override;

    Corvane::ScalarPushInput<std::int32_t> cwMode{this, "cwMode", "",
        "If true, the pulse form parameters will be changed for contineous-wave operation"};
    Corvane::ScalarPushInput<double> delay{this, "delay", "us", "Delay of pulse start after trigger"};
    Corvane::ScalarPushInput<double> fillingDuration{this, "fillingDuration", "us", "Duration of the filling period"};
    Corvane::ScalarPushInput<double> flattopDuration{this, "flattopDuration", "us", "Duration of the flat-top period"};
  };

  /// Inputs of one computation.
  struct Timing {
    double samplingFrequency; // MHz
    std::int32_t cwMode;
    double delay;           // us
    double fillingDuration; // us
    double flattopDuration; // us
    double offset;          // us
  };

  /// Results of one computation.
  struct Points {
    std::uint32_t flattopBegin;
    std::uint32_t flattopEnd;
    std::uint32_t index;
    double position; // us
  };

  /// Flat-top indices and sampling position for a pulse of `pulseLength` (> 0) samples. Sample
  /// counts are formed without overflow: flat-top indices saturate at 0 and 2^32 - 1 (a flat-top
  /// that starts before the trigger starts at sample 0), the index is kept in 0 .. pulseLength - 1.
  /// Nothing when a value that the computation needs is not finite or the frequency is not
  /// positive.
  static std::optional<Points> compute(const Timing& timing, std::uint32_t pulseLength);

  void mainLoop() override;

 private:
  std::uint64_t _pulseLength;

 public:
  Corvane::ScalarPushInput<double> offset{this, "offset", "us", "Offset w.r.t. the beginning of the region", {"DAQ"}};
  Corvane::ScalarPushInput<double> samplingFrequency{this, "/Configuration/samplingFrequency", "MHz",
      "IQ sampling frequency as used for the ADC and controller channels as well as the controller tables"};
  PulseShape pulseShape{this, "/Controller/PulseShape", ""};
  Corvane::ScalarOutput<double> position{
      this, "position", "us", "Global sampling position including the offset", {"DAQ"}};
  Corvane::ScalarOutput<std::uint32_t> index{
      this, "index", "", "Sample index of the global sampling position", {"DAQ"}};
  Corvane::ScalarOutput<std::uint32_t> flattopBeginIndex{
      this, "/Configuration/flattopBeginIndex", "", "Sample index of flattop start"};
  Corvane::ScalarOutput<std::uint32_t> flattopEndIndex{
      this, "/Configuration/flattopEndIndex", "", "Sample index of flattop end"};
};
