// Supervision of the macro-pulse trigger: publishes the time between the last two triggers
// that reached the server, and a status that turns FAULT when the periodic monitoring tick finds
// no trigger for longer than "Configuration/maximumTriggerInterval" (seconds). Its status output
// carries the status-output tag, so a missing trigger shows in the station's aggregated status.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/StatusOutput.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>

class TriggerIntervalMonitor : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  ~TriggerIntervalMonitor() override;

  void mainLoop() override;

  struct Server : Corvane::VariableGroup {
    using Corvane::VariableGroup::VariableGroup;
    ~Server() override;
    Corvane::ScalarPushInput<std::int64_t> triggerNumber{this, "triggerNumber", "", "Macro pulse trrigger number"};
  } server{this, "/Server", ""};

  struct MonitoringTrigger : Corvane::VariableGroup {
    using Corvane::VariableGroup::VariableGroup;
    ~MonitoringTrigger() override;
    Corvane::ScalarPushInput<std::uint64_t> tick{
        this, "tick", "", "Periodic trigger for supervision of trigger interval"};
  } monitoringTrigger{this, "/MonitoringTrigger", ""};

  Corvane::ScalarOutput<double> triggerInterval{
      this, "triggerInterval", "ms", "Interval between the last two received triggers"};
  Corvane::StatusOutput triggerStatus{this, "triggerStatus",
      "Trigger supervision: FAULT while no trigger has arrived for longer than the maximum trigger interval"};

 private:
  /// Sets the status and writes it when the value or the module's data validity changed since
  /// the last status write.
  void writeStatusIfChanged(Corvane::StatusOutput::Status status);

  // In milliseconds; 64 bits hold every configured number of seconds.
  std::int64_t _maximumInterval{
      std::int64_t{appConfig().get<std::int32_t>("Configuration/maximumTriggerInterval")} * 1000};
  Corvane::DataValidity _statusValidity{Corvane::DataValidity::ok};
};
