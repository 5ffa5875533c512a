#include "Automation.h"

#include <Corvane/ConfigReader.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string_view>

namespace {

  /// A configuration that contradicts the automation: nothing can run, so stop at once. The
  /// line for the operator goes to stdout; stderr says which key of which file contradicts it.
  [[noreturn]] void refuse(const Corvane::ConfigReader& config, const std::string& key, std::string_view line) {
    std::cout << line << std::endl;
    std::cerr << config.file().describe(key) << " contradicts the enabled automation ("
              << config.file().describe("Configuration/enableAutomation") << ")" << std::endl;
    std::exit(1);
  }

} // namespace

Automation::Automation(Corvane::Module* owner, const std::string& name, const std::string& description,
    const std::unordered_set<std::string>& tags)
: Corvane::ModuleGroup(owner, name, description, tags) {
  auto& config = appConfig();
  if(config.get<std::int32_t>("Configuration/enableAutomation") == 0) {
    disable();
    return;
  }
  if(config.get<std::int32_t>("Configuration/instanceType") == 2) {
    refuse(config, "Configuration/instanceType", "!!! InstanceType must not be slave if Automation is enabled!");
  }
  if(config.get<std::int32_t>("Configuration/instanceType") == 4) {
    refuse(config, "Configuration/instanceType",
        "!!! InstanceType must not be monitoring-only if Automation is enabled!");
  }
  if(config.get<std::int32_t>("Configuration/enablePhaseSetter") != 0) {
    refuse(config, "Configuration/enablePhaseSetter",
        "!!! Cannot enable Automation and PhaseSetter modules at the same time!");
  }
  if(!config.get<Corvane::Boolean>("Configuration/enableControllerChannelStatistics")) {
    refuse(config, "Configuration/enableControllerChannelStatistics",
        "!!! Cannot enable Automation without enabling controller channel statistics!");
  }
}
