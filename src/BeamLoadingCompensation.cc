#include "BeamLoadingCompensation.h"

#include "ConfigurationKeys.h"
#include "InstanceType.h"

#include <Corvane/ConfigReader.h>

BeamLoadingCompensation::BeamLoadingCompensation(Corvane::Module* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: Corvane::ModuleGroup(owner, name, description, tags),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {
  // kept by a master and by 0, which names no instance type; every other number takes it out
  auto number = configuredInstanceTypeNumber(appConfig());
  if(instanceTypeOf(number) != InstanceType::master && number != 0) disable();
}
