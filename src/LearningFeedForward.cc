#include "LearningFeedForward.h"

#include "ConfigurationKeys.h"
#include "InstanceType.h"

#include <Corvane/ConfigReader.h>

LearningFeedForward::ConfigurationAndStatus::ConfigurationAndStatus(
    Corvane::Module* owner, const std::string& name, const std::string& description)
: Corvane::VariableGroup(owner, name, description, {}),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}

LearningFeedForward::Controller::FeedForward::Correction::LFF::LFF(
    Corvane::Module* owner, const std::string& name, const std::string& description)
: Corvane::VariableGroup(owner, name, description, {}),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}

LearningFeedForward::Controller::Error::DAQ::DAQ(
    Corvane::Module* owner, const std::string& name, const std::string& description)
: Corvane::VariableGroup(owner, name, description, {}),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}

LearningFeedForward::LearningFeedForward(Corvane::Module* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags),
  pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)),
  scratchTable(pulseLength, 0.F),
  averagedErrorI(pulseLength, 0.F),
  averagedErrorQ(pulseLength, 0.F),
  _incrementI(pulseLength, 0.F),
  _incrementQ(pulseLength, 0.F) {
  if(!runsOwnController(configuredInstanceType(appConfig()))) disable();
}

LearningFeedForward::~LearningFeedForward() = default;
