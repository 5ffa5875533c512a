// The amplitude and phase error monitor: on every RF pulse it compares the controller's vector sum with its
// set point at the station's sampling position (the "Samples" of the two controller DAQ channels) and
// publishes the relative amplitude error, the absolute phase error and a fault flag with separate hold-off
// counts for entering and leaving the fault (AmplitudePhaseErrorGrading). A non-finite error counts as
// exceeding its limit.
#pragma once

#include "AmplitudePhaseErrorGrading.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>

class AmplitudePhaseError : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  AmplitudePhaseError() = default;
  AmplitudePhaseError(AmplitudePhaseError&&) noexcept = default;
  AmplitudePhaseError& operator=(AmplitudePhaseError&&) noexcept = default;
  ~AmplitudePhaseError() override = default;

  /// One DAQ channel's amplitude and phase at the sampling position.
  class ChannelSamples : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;
    ChannelSamples() = default;
    ChannelSamples(ChannelSamples&&) noexcept = default;
    ChannelSamples& operator=(ChannelSamples&&) noexcept = default;
    ~ChannelSamples() override = default;

    Corvane::ScalarPushInput<float> amplitude{this, "amplitude", "G.U.", "", {}};
    Corvane::ScalarPushInput<float> phase{this, "phase", "deg", "", {}};
  };

  /// Writes "fault" 0 at start, then grades every complete update of the four sample inputs.
  void mainLoop() override;

  ChannelSamples vectorSumSamples{this, "/Controller/VectorSum/DAQ/Samples", ""};
  ChannelSamples setPointSamples{this, "/Controller/SetPoint/DAQ/Samples", ""};
  Corvane::ScalarOutput<double> amplitude{this, "amplitude", "%", "Relative error of the amplitude", {}};
  Corvane::ScalarOutput<double> phase{this, "phase", "deg", "Absolute error of the phase", {}};
  Corvane::ScalarPollInput<double> amplitudeLimit{
      this, "amplitudeLimit", "%", "Maximum relative amplitude error, used for fault status", {}};
  Corvane::ScalarPollInput<double> phaseLimit{
      this, "phaseLimit", "deg", "Maximum absolute phase error, used for fault status", {}};
  Corvane::ScalarPollInput<std::uint32_t> faultCountSet{
      this, "faultCountSet", "deg", "Number of triggers to wait before going into the fault state", {}};
  Corvane::ScalarPollInput<std::uint32_t> faultCountClear{
      this, "faultCountClear", "deg", "Number of triggers to wait before clearing the fault state", {}};
  Corvane::ScalarOutput<std::int32_t> fault{this, "fault", "",
      "0: amplitude and phase errors are within limits - 1: amplitude or phase error exceeds limit", {}};

 private:
  AmplitudePhaseErrorGrading::FaultState _state;
};
