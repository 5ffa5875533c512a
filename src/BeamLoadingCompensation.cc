#include "BeamLoadingCompensation.h"

#include "ConfigurationKeys.h"
#include "InstanceType.h"

#include <Corvane/ConfigReader.h>

BeamLoadingCompensation::BeamLoadingCompensation(Corvane::Module* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: Corvane::ModuleGroup(owner, name, description, tags) {
  // kept by a master and by 0, which names no instance type; every other number takes it out
  auto number = configuredInstanceTypeNumber(appConfig());
  if(instanceTypeOf(number) != InstanceType::master && number != 0) disable();
}

BeamLoadingCompensation::~BeamLoadingCompensation() = default;

BeamLoadingCompensation::UserTables::UserTables(
    Corvane::ModuleGroup* owner, const std::string& name, const std::string& description)
: Corvane::ApplicationModule(owner, name, description, {}),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}

BeamLoadingCompensation::UserTables::~UserTables() = default;

BeamLoadingCompensation::UserTables::UserTable::UserTable(
    Corvane::Module* owner, const std::string& name, const std::string& description)
: Corvane::VariableGroup(owner, name, description, {}),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}

BeamLoadingCompensation::UserTables::Output::Output(
    Corvane::Module* owner, const std::string& name, const std::string& description, std::uint32_t length)
: Corvane::VariableGroup(owner, name, description, {}),
  userTableI(this, "userTableI", "digits", length, "I component of user table"),
  userTableQ(this, "userTableQ", "digits", length, "Q component of user table") {}

BeamLoadingCompensation::PulseShape::PulseShape(
    Corvane::ModuleGroup* owner, const std::string& name, const std::string& description)
: Corvane::ApplicationModule(owner, name, description, {}),
  iqDetectionLength(appConfig().get<std::uint32_t>(ConfigurationKeys::iqDetectionLength)),
  clockFrequency(appConfig().get<double>(ConfigurationKeys::clockFrequency)) {}

BeamLoadingCompensation::PulseShape::~PulseShape() = default;

BeamLoadingCompensation::Limiter::~Limiter() = default;
