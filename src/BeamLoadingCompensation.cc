#include "BeamLoadingCompensation.h"

#include <Corvane/ConfigReader.h>

BeamLoadingCompensation::BeamLoadingCompensation(Corvane::Module* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: Corvane::ModuleGroup(owner, name, description, tags),
  pulseLength(appConfig().get<std::uint32_t>("Configuration/pulseLength")) {
  auto instanceType = appConfig().get<std::int32_t>("Configuration/instanceType");
  if(static_cast<std::uint32_t>(instanceType) > 1) disable();
}
