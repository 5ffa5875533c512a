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

std::uint32_t ConfigurationLimits::beamRegions(const Corvane::ConfigReader& config) {
  constexpr char key[] = "Configuration/nMaxBeamRegions";
  if(!config.getOptional<std::uint32_t>(key)) return 1;
  return config.getInRange<std::uint32_t>(key, 1, maxBeamRegions, "the beam-based feedback has at least one region");
}
