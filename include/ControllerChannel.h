// One DAQ channel of the controller board, or the partial vector sum of a 10-channel ADC board: the raw I/Q
// traces that the firmware records on every RF pulse become what operators and other modules use.
//
// ControllerChannel is a group that only holds the computations module, named "." so that its variables lie
// in the group's directory; the two flags say whether it computes amplitude and phase and whether the
// firmware's vector-sum bit shift scales it. Per pulse the computations publish, in this order and all from
// the same pair of traces: the values at the station's sampling position ("Samples"), the statistics over the
// flat-top ("Statistics", when "Configuration/enableControllerChannelStatistics" is true) and the amplitude
// and phase traces. The samples and the I/Q averages are raw firmware values; amplitude and phase are
// divided by the scale (ControllerChannelKernels).
//
// What the firmware or an operator can make unusable is marked, never read outside the traces: a scale that
// is not finite and positive marks amplitude and phase faulty; flat-top indices beyond the pulse are clamped
// into it and mark the statistics faulty; an end before the begin takes no statistics for that pulse and
// writes the last ones again, marked faulty.
#pragma once

#include "AmplitudePhase.h"
#include "GlobalSamplePoints.h"
#include "TableAP.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <string>
#include <unordered_set>

class ControllerChannel : public Corvane::ModuleGroup {
 public:
  class Computations : public Corvane::ApplicationModule {
   public:
    /// One channel's values at the sampling position; amplitude and phase only when the channel computes them.
    class Samples : public Corvane::VariableGroup {
     public:
      Samples() = default;
      Samples(Corvane::VariableGroup* owner, const std::string& name, const std::string& description,
          bool computeAmplitudePhase);
      Samples(Samples&&) noexcept = default;
      Samples& operator=(Samples&&) noexcept = default;
      ~Samples() override = default;

      Corvane::ScalarOutput<float> I{this, "I", "G.U.", "Calibrated value in I", {"DAQ"}};
      Corvane::ScalarOutput<float> Q{this, "Q", "G.U.", "Calibrated value in Q", {"DAQ"}};
      AmplitudePhase<Corvane::ScalarOutput, float> amplitudePhase;
    };

    /// Averages over the flat-top and, with amplitude and phase, their standard deviations.
    class Statistics : public Corvane::VariableGroup {
     public:
      class AP : public Corvane::VariableGroup {
       public:
        using Corvane::VariableGroup::VariableGroup;
        AP() = default;
        AP(AP&&) noexcept = default;
        AP& operator=(AP&&) noexcept = default;
        ~AP() override = default;

        Corvane::ScalarOutput<float> amplitudeAverage{this, "amplitudeAverage", "G.U.", "Amplitude averaged", {"DAQ"}};
        Corvane::ScalarOutput<float> phaseAverage{this, "phaseAverage", "deg", "Phase averaged", {"DAQ"}};
        Corvane::ScalarOutput<float> amplitudeStandardDeviation{
            this, "amplitudeStandardDeviation", "G.U.", "Standard deviation of amplitude", {"DAQ"}};
        Corvane::ScalarOutput<float> phaseStandardDeviation{
            this, "phaseStandardDeviation", "deg", "Standard deviation", {"DAQ"}};
      };

      /// A placeholder that computes and publishes nothing.
      Statistics() = default;
      Statistics(Corvane::Module* owner, const std::string& name, const std::string& description,
          bool computeAmplitudePhase);
      Statistics(Statistics&&) noexcept = default;
      Statistics& operator=(Statistics&&) noexcept = default;
      ~Statistics() override = default;

      bool computeAmplitudePhase{false};
      Corvane::ScalarOutput<float> IAverage{this, "IAverage", "G.U.", "Calibrated value in I averaged", {"DAQ"}};
      Corvane::ScalarOutput<float> QAverage{this, "QAverage", "G.U.", "Calibrated value in Q averaged", {"DAQ"}};
      AP ap;
    };

    /// The station's settings the channel reads; lies at "/Configuration".
    class Configuration : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Configuration() = default;
      Configuration(Configuration&&) noexcept = default;
      Configuration& operator=(Configuration&&) noexcept = default;
      ~Configuration() override = default;

      Corvane::ScalarPollInput<double> bitScaling{this, "bitScaling", "digits/G.U.", "Bit scaling factor", {}};
      Corvane::ScalarPollInput<std::uint8_t> vectorSumBitShift{
          this, "vectorSumBitShift", "bits", "Bit shift in firmware for vector sum", {}};
      Corvane::ScalarPollInput<double> zeroPhaseThreshold{
          this, "zeroPhaseThreshold", "G.U.", "Minimum amplitude to display a non-zero phase", {}};
      Corvane::ScalarPollInput<std::uint32_t> flattopBeginIndex{
          this, "flattopBeginIndex", "", "Sample index of flattop start", {}};
      Corvane::ScalarPollInput<std::uint32_t> flattopEndIndex{
          this, "flattopEndIndex", "", "Sample index of flattop end", {}};
    };

    Computations() = default;
    /// Reads "Configuration/pulseLength" and "Configuration/enableControllerChannelStatistics".
    Computations(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
        bool computeAmplitudePhase, bool applyBitShift, const std::unordered_set<std::string>& tags = {});
    Computations(Computations&&) noexcept = default;
    Computations& operator=(Computations&&) noexcept = default;
    ~Computations() override = default;

    void mainLoop() override;

    std::uint32_t pulseLength{0};
    bool computeAmplitudePhase{false};
    bool applyBitShift{false};
    Corvane::ArrayPushInput<float> I;
    Corvane::ArrayPushInput<float> Q;
    TableAP table;
    GlobalSamplePoints<Samples> samplePoints;
    bool statisticsEnabled{false};
    Statistics statistics;
    Configuration configuration;

   private:
    /// Amplitude and phase traces from the current I and Q; marks them faulty when the scale is not usable.
    void computeTable();
    void publishSamples();
    void publishStatistics();
    void setAmplitudePhaseValidity(Corvane::DataValidity validity);
    void setStatisticsValidity(Corvane::DataValidity validity);

    Corvane::DataValidity _amplitudePhaseValidity{Corvane::DataValidity::ok};
  };

  /// A placeholder that belongs to no owner and takes part in nothing; move a built channel over it.
  ControllerChannel() = default;
  ControllerChannel(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
      bool computeAmplitudePhase, bool applyBitShift, const std::unordered_set<std::string>& tags = {});
  ControllerChannel(ControllerChannel&&) noexcept = default;
  ControllerChannel& operator=(ControllerChannel&&) noexcept = default;
  ~ControllerChannel() override = default;

  bool computeAmplitudePhase{false};
  bool applyBitShift{false};
  Computations computations;
};
