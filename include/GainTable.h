// The feedback gain table: the controller's gain sample by sample over the pulse, loaded into the board's
// double-buffered table "/Controller/FeedBack/Gain/Table" (I, and Q as a copy of I) under the firmware table
// lock. In pulsed operation the gain is 0 outside the pulse (the gain's own delay shifts it), holds the
// magnitude from the pulse start to the end of the flat-top, and with gain scheduling ("functionSelect" 1 sine,
// 2 linear) stays 0 up to "startTime" and ramps up to the magnitude at "stopTime" (both counted from the pulse
// start). In continuous-wave operation ("cwMode" not 0) every entry is the magnitude. GainSchedule.h has the
// arithmetic.
//
// One thread: a pass at start and after every update of a parameter (every input tagged "PARAMS"). Each pass
// checks the changed input with the module's input validator (all rules at start): a rejected value returns to
// its last accepted value, or its fallback, through the write-back, and the rule's message goes to
// "errorMessage". Then the table is rebuilt in full and written. Consistency checks of the indices in a pass
// report "safe_assert <n> failed, notify developer!" and repair the index for that pass only.
#pragma once

#include "BufferedTable.h"
#include "GainSchedule.h"
#include "MultiClientFirmwareMutex.h"

#include <Corvane/AggregatableMessage.h>
#include <Corvane/ApplicationModule.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/UserInputValidator.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

class GainTable : public Corvane::ApplicationModule {
 public:
  /// Source name of the module's log messages.
  static constexpr const char* logSource = "GainTable";

  GainTable(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});

  /// Sets up the input validator and clears "errorMessage".
  void prepare() override;
  void mainLoop() override;

  /// Recomputes the four indices from the inputs' current values.
  void computeIndices();
  /// When `condition` is false: logs "safe_assert in <file> (<line>) failed: !(<conditionText>)" as an error,
  /// reports "safe_assert <line> failed, notify developer!" through setError, then runs `fixUp` (may be empty).
  void safeAssert(bool condition, const std::string& conditionText, const std::string& file, std::int32_t line,
      const std::function<void()>& fixUp);
  /// Logs "ERROR in GainTable: <message>" and publishes the message on "errorMessage" (every call writes).
  void setError(const std::string& message);

  class ConfigurationGroup : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;
    Corvane::ScalarPushInputWB<double> samplingFrequency{
        this, "samplingFrequency_for_GainTable", "MHz", "IQ sampling frequency as used for the control tables"};
  };

  class PulseShapeGroup : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;
    Corvane::ScalarPushInput<std::int32_t> cwMode{this, "cwMode", "",
        "If true, the pulse form parameters will be changed for contineous-wave operation"};
    Corvane::ScalarPushInputWB<double> delay{this, "delay", "us", "Delay of pulse start after trigger"};
    Corvane::ScalarPushInputWB<double> fillingDuration{this, "fillingDuration", "us", "Duration of the filling period"};
    Corvane::ScalarPushInputWB<double> flattopDuration{
        this, "flattopDuration", "us", "Duration of the flat-top period"};
  };

  class Scheduling : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;
    Corvane::ScalarPushInputWB<double> startTime{this, "startTime", "us", "Start time for gain scheduling"};
    Corvane::ScalarPushInputWB<double> stopTime{this, "stopTime", "us", "Stop time for gain scheduling"};
    Corvane::ScalarPushInputWB<std::int32_t> functionSelect{this, "functionSelect", "",
        "Gain function selection: 0=disabled; 1=sine function transition; 2=linear transition"};
  };

  class GainGroup : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;
    Scheduling scheduling{this, "Scheduling", "Gain scheduling"};
    Corvane::ScalarPushInputWB<double> magnitude{this, "magnitude", "", "The value of the gain"};
    Corvane::ScalarPushInputWB<double> delay{
        this, "delay", "us", "Extra delay (in addition to PulseShape/delay) just for the gain table."};
  };

 private:
  std::int32_t _pulseLength;

 public:
  MultiClientFirmwareMutex::ClientInterface tableLock{this, "/Controller/Configuration/tableBufferMode"};
  ConfigurationGroup configuration{this, "/Configuration", "", {"PARAMS"}};
  PulseShapeGroup pulseShape{this, "../PulseShape", "", {"PARAMS"}};
  GainGroup gain{this, "../FeedBack/Gain", "Gain table parameters", {"PARAMS"}};
  BufferedTable<double> table{this, "../FeedBack/Gain/Table", ""};
  Corvane::AggregatableMessage errorMessage{this, "errorMessage", "", "Error message"};
  Corvane::UserInputValidator validator;

 private:
  /// Registers the eight rules on the operator inputs.
  void addRules();
  /// The stop time a scheduling without an accepted one falls back to: one sample period after the pulse start.
  double stopTimeFallback() const;
  /// Fills I for the current inputs (with the consistency checks in pulsed operation) and copies it into Q.
  void constructTable();
  /// The consistency checks of the pulse indices, then (with a ramp) those of the ramp indices.
  void checkPulseIndices();
  void checkRampIndices();

  std::int32_t _index_delay{0};
  std::int32_t _index_flattop_end{0};
  std::int32_t _index_start{0};
  std::int32_t _index_stop{0};
};
