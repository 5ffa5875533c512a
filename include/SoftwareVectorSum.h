// The software vector sum: on every macro-pulse, the sample-by-sample sum of the complex signals
// (amplitude and phase over the pulse) of every ADC channel whose include flag is not 0,
// published as the arrays "I" and "Q" (phase 0 along I, 90 degrees along Q; no scaling).
//
// The module declares its own view of every ADC channel at the channel's absolute path
// ("/AdcBoard<b>/Channel<c>"), so its inputs join the channel's "amplitude" and "phase" outputs
// by path; the include flag beside them is an operator setting. It waits for new arrays of every
// channel, flagged or not, before each sum.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarAccessor.h>

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

class SoftwareVectorSum : public Corvane::ApplicationModule {
 public:
  /// Reads "Configuration/pulseLength", "Configuration/nAdcBoards" and each board's
  /// "Configuration/AdcBoard<b>/nChannels" (uint32; a missing or mistyped key is a
  /// Corvane::logic_error). `includeFlagName` names the per-channel flag ("isForwardSignal").
  SoftwareVectorSum(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
      const std::string& includeFlagName, const std::unordered_set<std::string>& tags = {});

  void mainLoop() override;

  class AdcBoard : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;

    class AdcChannel : public Corvane::VariableGroup {
     public:
      AdcChannel(Corvane::VariableGroup* owner, const std::string& name, const std::string& description,
          const std::string& includeFlagName);

      std::uint32_t pulseLength;
      Corvane::ArrayPushInput<float> amplitude;
      Corvane::ArrayPushInput<float> phase;
      Corvane::ScalarPollInput<int> include;
    };

    std::vector<AdcChannel> channels;
  };

  std::uint32_t pulseLength;
  Corvane::ArrayOutput<float> I;
  Corvane::ArrayOutput<float> Q;
  std::vector<AdcBoard> boards;

 private:
  /// Sets I and Q to zero.
  void clearSum();
  /// Adds the channel's complex signal to I and Q when its include flag is not 0.
  void addChannel(const AdcBoard::AdcChannel& channel);
};
