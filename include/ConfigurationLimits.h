// The station's configured counts, read with their limits. Each count sizes modules or arrays
// that are built at start, so a mistyped value (an extra digit or two) would otherwise take
// minutes and gigabytes before failing; every module that reads a count reads it here, so the
// first one to read it refuses a value outside its range with a message naming the key and the
// configuration file. The limits lie far above any station's need. Counts that the boards'
// register maps also describe (channels, pulse length, calibration table size) are further
// checked against the maps when the boards are built (AdcBoardRoot).
#pragma once

#include <Corvane/ConfigReader.h>

#include <cstdint>
#include <string>

class ConfigurationLimits {
 public:
  static constexpr std::uint32_t maxAdcBoards = 16;
  static constexpr std::uint32_t maxChannelsPerBoard = 64;
  static constexpr std::uint32_t maxPulseLength = std::uint32_t{1} << 20;
  static constexpr std::uint32_t maxSinCosTableSize = 4096;
  static constexpr std::uint32_t maxBeamRegions = 4096;

  /// "Configuration/nAdcBoards": 0 .. maxAdcBoards.
  static std::uint32_t adcBoards(const Corvane::ConfigReader& config);

  /// "Configuration/<boardName>/nChannels" of the board group "AdcBoard<N>": 0 .. maxChannelsPerBoard
  /// (the board itself needs at least one channel, AdcBoardRoot).
  static std::uint32_t channels(const Corvane::ConfigReader& config, const std::string& boardName);

  /// "Configuration/pulseLength", samples: 1 .. maxPulseLength.
  static std::uint32_t pulseLength(const Corvane::ConfigReader& config);

  /// "Configuration/nSinCosTableSize", entries: 0 .. maxSinCosTableSize.
  static std::uint32_t sinCosTableSize(const Corvane::ConfigReader& config);

  /// "Configuration/nMaxBeamRegions", regions: 1 .. maxBeamRegions; 1 when the file does not have the key.
  static std::uint32_t beamRegions(const Corvane::ConfigReader& config);
};
