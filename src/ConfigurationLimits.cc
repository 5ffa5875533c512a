#include "ConfigurationLimits.h"

std::uint32_t ConfigurationLimits::adcBoards(const Corvane::ConfigReader& config) {
  return config.getInRange<std::uint32_t>("Configuration/nAdcBoards", 0, maxAdcBoards);
}

std::uint32_t ConfigurationLimits::channels(const Corvane::ConfigReader& config, const std::string& boardName) {
  return config.getInRange<std::uint32_t>("Configuration/" + boardName + "/nChannels", 0, maxChannelsPerBoard);
}

std::uint32_t ConfigurationLimits::pulseLength(const Corvane::ConfigReader& config) {
  return config.getInRange<std::uint32_t>(
      "Configuration/pulseLength", 1, maxPulseLength, "a pulse has at least one sample");
}

std::uint32_t ConfigurationLimits::sinCosTableSize(const Corvane::ConfigReader& config) {
  return config.getInRange<std::uint32_t>("Configuration/nSinCosTableSize", 0, maxSinCosTableSize);
}
