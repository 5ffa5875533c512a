// The reference phase monitor: on every macro-pulse, the circular mean of the phases at the
// sampling position of all ADC channels flagged as references ("isReference" exactly 1), and a
// status that turns FAULT when any of them deviates from the reference value by more than
// "Configuration/allowedPhaseDifference" degrees. On a slave station (instance type 2) the
// reference value is the average published by the master ("remoteAverageReferencePhase").
//
// Like the software vector sum it declares its own view of every ADC channel at the channel's
// absolute path ("/AdcBoard<b>/Channel<c>") and waits for a new phase of every channel.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/StatusOutput.h>

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

class ReferencePhaseMonitor : public Corvane::ApplicationModule {
 public:
  /// Reads "Configuration/nAdcBoards", each board's "Configuration/AdcBoard<b>/nChannels"
  /// (uint32) and "Configuration/instanceType" (int32); a missing or mistyped key is a
  /// Corvane::logic_error.
  ReferencePhaseMonitor(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});

  /// Reads "Configuration/allowedPhaseDifference" (double, degrees) once, then checks every pulse.
  void mainLoop() override;

  class AdcBoard : public Corvane::VariableGroup {
   public:
    AdcBoard(Corvane::Module* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags, std::size_t boardIndex);

    class Channel : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;

      class Samples : public Corvane::VariableGroup {
       public:
        using Corvane::VariableGroup::VariableGroup;
        Corvane::ScalarPushInput<float> phase{this, "phase", "deg", "Phase", {}};
      };

      Corvane::ScalarPollInput<int> isReference{this, "isReference", "", "", {}};
      Samples samples{this, "Samples", "", {}};
    };

    std::vector<Channel> channels;
  };

  std::vector<AdcBoard> boards;
  Corvane::StatusOutput referencePhaseStatus;
  Corvane::ScalarOutput<double> localAverageReferencePhase;
  Corvane::ScalarPollInput<double> remoteAverageReferencePhase;
  bool isSlave{false};

 private:
  /// One pass on the current input values: publishes the local average and the status.
  void check(double allowedPhaseDifference);
};
