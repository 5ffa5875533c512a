// AdcChannel: one analogue input of an ADC board, the group "Channel<j>" inside its board group. It bundles
// the four modules of the input: the calibration rotation ("Calibration"), the firmware filter design
// ("Filter"), the ADC FIFO delay and the per-pulse signal computations; the last two are named "." so that
// their variables lie directly in the channel's directory.
//
// The computations turn the board's raw amplitude and phase counts into amplitude, phase and power over the
// pulse, the peak powers before and after the flat-top start, the values at the sampling position and, when
// "Configuration/enableAdcChannelStatistics" is true, statistics over the pulse (AdcChannelKernels). For a
// hold-off after every change of the board's DAQ error counter they mark what they write as faulty.
#pragma once

#include "FilterCoefficients.h"
#include "GlobalSamplePoints.h"
#include "RotationParameter.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

class AdcChannel : public Corvane::ModuleGroup {
 public:
  /// The ADC FIFO delay of the channel. A delay outside 0 to 255 is refused with a warning and not written:
  /// the firmware keeps the last valid delay.
  class Delay : public Corvane::ApplicationModule {
   public:
    using Corvane::ApplicationModule::ApplicationModule;
    Delay() = default;
    Delay(Delay&&) noexcept = default;
    Delay& operator=(Delay&&) noexcept = default;
    ~Delay() override = default;

    /// Each valid delay, the initial one included, is written and followed by a reset pulse of 1 ms.
    void mainLoop() override;

    Corvane::ScalarPushInput<std::int32_t> delay{this, "delay", "samples", "ADC FIFO delay", {}};
    Corvane::ScalarOutput<Corvane::Boolean> adcFifoReset{this, "adcFifoReset", "", "FIFO reset bit", {}};
    Corvane::ScalarOutput<std::uint8_t> adcFifoDelay{this, "adcFifoDelay", "", "FIFO delay", {}};
  };

  /// The per-pulse signal computations of the channel.
  class ChannelComputations : public Corvane::ApplicationModule {
   public:
    /// The values at the sampling position.
    class Samples : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Samples() = default;
      Samples(Samples&&) noexcept = default;
      Samples& operator=(Samples&&) noexcept = default;
      ~Samples() override = default;

      Corvane::ScalarOutput<float> amplitude{this, "amplitude", "G.U.L.S.", "Amplitude", {"DAQ"}};
      Corvane::ScalarOutput<float> phase{this, "phase", "deg", "Phase", {"DAQ"}};
      Corvane::ScalarOutput<float> power{this, "power", "P.U.", "Power", {"DAQ"}};
    };

    class Statistics : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Statistics() = default;
      Statistics(Statistics&&) noexcept = default;
      Statistics& operator=(Statistics&&) noexcept = default;
      ~Statistics() override = default;

      Corvane::ScalarOutput<float> amplitudeAverage{
          this, "amplitudeAverage", "G.U.L.S.", "Amplitude averaged over the full pulse", {}};
      Corvane::ScalarOutput<float> phaseAverage{this, "phaseAverage", "deg", "Phase averaged over the full pulse", {"DAQ"}};
      Corvane::ScalarOutput<float> powerAverage{this, "powerAverage", "P.U.", "Power averaged over the full pulse", {"DAQ"}};
      Corvane::ScalarOutput<float> amplitudeStandardDeviation{this, "amplitudeStandardDeviation", "G.U.L.S.",
          "Standard deviation of amplitude over the full pulse", {"DAQ"}};
      Corvane::ScalarOutput<float> phaseStandardDeviation{
          this, "phaseStandardDeviation", "deg", "Standard deviation over the full pulse", {"DAQ"}};
    };

    /// The global settings the computation reads; named "/Configuration".
    class Configuration : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Configuration() = default;
      Configuration(Configuration&&) noexcept = default;
      Configuration& operator=(Configuration&&) noexcept = default;
      ~Configuration() override = default;

      Corvane::ScalarPollInput<double> samplingFrequency{
          this, "samplingFrequency", "MHz", "IQ sampling frequency as used for the ADC channels", {}};
      Corvane::ScalarPollInput<double> bitScalingLengthScaled{this, "bitScalingLengthScaled", "digits/G.U.L.S.", "", {}};
      Corvane::ScalarPollInput<double> extraPowerScaling{this, "extraPowerScaling", "digits^2/P.U.",
          "Additional factor to convert raw values into a power (common for all channels)", {}};
      Corvane::ScalarPollInput<double> zeroPhaseThreshold{
          this, "zeroPhaseThreshold", "G.U.L.S.", "Minimum amplitude to display a non-zero phase", {}};
      Corvane::ScalarPollInput<std::uint32_t> flattopBeginIndex{
          this, "flattopBeginIndex", "", "Sample index of flattop start", {}};
    };

    ChannelComputations() = default;
    /// Reads "Configuration/pulseLength" and "Configuration/enableAdcChannelStatistics".
    ChannelComputations(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
        std::uint32_t channel, const std::unordered_set<std::string>& tags = {});
    ChannelComputations(ChannelComputations&&) noexcept = default;
    ChannelComputations& operator=(ChannelComputations&&) noexcept = default;
    ~ChannelComputations() override = default;

    void mainLoop() override;

    std::uint32_t pulseLength{0};
    Corvane::ScalarOutput<std::uint32_t> channelNumber{
        this, "channelNumber", "", "The channel number of this ADC channel", {}};
    std::uint32_t channel{0};
    Corvane::ScalarPollInput<double> powerScaling{
        this, "powerScaling", "digits^2/P.U.", "Factor to convert raw values into a power", {}};
    Corvane::ArrayPushInput<std::int32_t> amplitudeUncalibrated;
    Corvane::ArrayPushInput<std::int32_t> phaseUncalibrated;
    Corvane::ScalarPollInput<std::uint32_t> daqErrorCounter{this, "daqErrorCounter", "", "", {}};
    Corvane::ArrayOutput<float> amplitude;
    Corvane::ArrayOutput<float> phase;
    Corvane::ArrayOutput<float> power;
    GlobalSamplePoints<Samples> samplePoints;
    Corvane::ScalarOutput<float> peakPowerFilling{
        this, "peakPowerFilling", "P.U.", "Maximum power before flattop start", {}};
    Corvane::ScalarOutput<float> peakPowerFlattop{
        this, "peakPowerFlattop", "P.U.", "Maximum power after flattop start", {}};
    Statistics statistics;
    bool statisticsEnabled{false};
    Configuration configuration;

   private:
    /// Marks the outputs faulty from a change of the DAQ error counter until it has stayed unchanged for more
    /// than the hold-off length of passes. The count at start, or the first one read once the board is open,
    /// is no change.
    void updateHoldOff();
    /// Publishes the power arrays when they were computed this pass, else once at the first pass.
    void writePower(bool computed);

    // The power is computed straight into the output's buffer, which the destructive write may exchange. In a
    // pass without power the samples' power keeps its last computed value and the statistics give the
    // average of the last computed power (0 before the first), as the published power array still shows it.
    float _powerAverage{0.F};
    std::uint32_t _lastErrorCount{0};
    bool _errorCountKnown{false};
    std::size_t _holdOffLength{0};
    bool _held{false};
    std::uint32_t _unchangedPasses{0};
    bool _powerPublished{false};
    bool _peaksPublished{false};
  };

  /// The group is named "Channel" + channel, whatever `name` says; `name` is kept.
  AdcChannel(Corvane::ModuleGroup* owner, std::string name, const std::string& description, std::uint64_t channel,
      std::uint32_t nSinCosTableSize, double phaseStep, double sinSign);
  AdcChannel(AdcChannel&&) noexcept = default;
  AdcChannel& operator=(AdcChannel&&) noexcept = default;
  ~AdcChannel() override = default;

  std::uint32_t channel{0};
  std::uint32_t nSinCosTableSize{0};
  double phaseStep{0.0};
  double sinSign{0.0};
  std::string name;
  llrf::RotationParameter calibration;
  FilterCoefficients filter;
  Delay delayModule;
  ChannelComputations computations;
};
