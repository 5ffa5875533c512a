#include "Automation.h"

#include "ConfigurationKeys.h"
#include "InstanceType.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/StartUpRefusal.h>

#include <cstdint>
#include <iostream>
#include <string>

namespace {

  /// A configuration that contradicts the automation: nothing can run, so the process ends. The
  /// line for the operator goes to stdout; stderr says which key of which file contradicts it.
  [[noreturn]] void refuse(const Corvane::ConfigReader& config, const std::string& key, std::string_view line) {
    std::cerr << config.file().describe(key) << " contradicts the enabled automation ("
              << config.file().describe(ConfigurationKeys::enableAutomation) << ")" << std::endl;
    throw Corvane::StartUpRefusal({std::string(line)}, Corvane::StartUpRefusal::Stream::standardOutput, 1);
  }

} // namespace

Automation::Automation(Corvane::Module* owner, const std::string& name, const std::string& description,
    const std::unordered_set<std::string>& tags)
: Corvane::ModuleGroup(owner, name, description, tags) {
  auto& config = appConfig();
  if(config.get<std::int32_t>(ConfigurationKeys::enableAutomation) == 0) {
    disable();
    return;
  }
  auto instanceType = configuredInstanceType(config);
  if(instanceType == InstanceType::slave) {
    refuse(config, ConfigurationKeys::instanceType, "!!! InstanceType must not be slave if Automation is enabled!");
  }
  if(instanceType == InstanceType::monitoringOnly) {
    refuse(config, ConfigurationKeys::instanceType,
        "!!! InstanceType must not be monitoring-only if Automation is enabled!");
  }
  if(config.get<std::int32_t>(ConfigurationKeys::enablePhaseSetter) != 0) {
    refuse(config, ConfigurationKeys::enablePhaseSetter,
        "!!! Cannot enable Automation and PhaseSetter modules at the same time!");
  }
  if(!config.get<Corvane::Boolean>(ConfigurationKeys::enableControllerChannelStatistics)) {
    refuse(config, ConfigurationKeys::enableControllerChannelStatistics,
        "!!! Cannot enable Automation without enabling controller channel statistics!");
  }
}
