#include "InstanceType.h"

#include "ConfigurationKeys.h"

#include <Corvane/ConfigReader.h>

std::optional<InstanceType> instanceTypeOf(std::int32_t number) {
  for(auto type : {InstanceType::master, InstanceType::slave, InstanceType::monitoringOnly}) {
    if(static_cast<std::int32_t>(type) == number) return type;
  }
  return std::nullopt;
}

std::int32_t configuredInstanceTypeNumber(const Corvane::ConfigReader& config) {
  return config.get<std::int32_t>(ConfigurationKeys::instanceType);
}

std::optional<InstanceType> configuredInstanceType(const Corvane::ConfigReader& config) {
  return instanceTypeOf(configuredInstanceTypeNumber(config));
}

bool runsOwnController(std::optional<InstanceType> type) {
  return type != InstanceType::slave && type != InstanceType::monitoringOnly;
}
