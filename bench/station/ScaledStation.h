// The simulated station of config/sim, scaled for the station benchmark: any number of ADC
// boards with any number of channels and any pulse length, written into a directory together
// with the device map, register maps and initialisation script, all on dummy devices (the
// simulated controller board, which paces its own trigger, becomes a dummy device holding the
// application's controller registers alone).
//
// The files are derived from config/sim rather than written anew, so that the benchmark runs
// what the simulated station runs: every configuration key is kept, the board count, channel
// counts and pulse length are replaced; register maps get arrays of the new pulse length and
// the first ADC channel's registers once per channel, laid out again without gaps (registers
// that overlap on purpose keep overlapping).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace stationbench {

  struct StationShape {
    std::uint32_t boards{8};
    std::uint32_t channelsPerBoard{10};
    std::uint32_t pulseLength{16384};
    /// Averages and standard deviations of the ADC and controller channels (on in the simulated
    /// station). Their float sums run in index order, a chain of dependent additions per sum.
    std::uint32_t statistics{1};
  };

  /// One register of a register map, as read from its line.
  struct RegisterLine {
    std::string name;
    std::uint64_t rows{1};     ///< 1 unless the register is a 2-D area (rows x samples)
    std::uint64_t elements{0}; ///< elements per row
    std::uint64_t address{0};
    std::uint64_t bytes{0};
    std::uint32_t bar{0};
    std::string bit;  ///< ":BIT" of a bit field's address, else empty
    std::string rest; ///< width, fractional bits, signedness, access: kept as written
  };

  class ScaledStation {
   public:
    /// Reads the simulated station from `simDirectory` (tessarel_base_config.xml, tessarel.dmap,
    /// the maps it names, initHardware.py). Throws std::runtime_error naming what is missing.
    ScaledStation(std::filesystem::path simDirectory, StationShape shape);

    /// Writes the scaled station into `directory` (created if needed): the application instance
    /// "tessarel" finds everything there when that is the working directory.
    void write(const std::filesystem::path& directory) const;

    /// Register names (as in the map, "NormalDataMode.Channel3.phaseUncalibrated") and sizes of
    /// the arrays of one ADC board that carry pulse data, with their element size in bytes.
    struct PulseRegister {
      std::string name;
      std::uint64_t elements;
      std::uint64_t bytesPerElement;
    };
    std::vector<PulseRegister> adcPulseRegisters(const std::string& subtree) const;
    /// The controller board's DAQ traces ("ToControlSystem.Controller.VectorSum.DAQ.I", ...).
    std::vector<PulseRegister> controllerDaqRegisters() const;

    /// Bytes of the pulse-length arrays that the device modules read on every trigger: the ADC
    /// boards' normal-mode DAQ arrays and the controller's readable arrays below ToControlSystem.
    std::uint64_t bytesReadPerPulse() const;

    const StationShape& shape() const { return _shape; }

   private:
    /// The pulse-length arrays of a scaled map whose names are `wanted`.
    std::vector<PulseRegister> pulseRegisters(
        const std::vector<RegisterLine>& scaledMap, const std::function<bool(const std::string&)>& wanted) const;
    /// Register map file of ADC board `board` in the scaled station.
    std::string adcMapName(std::uint32_t board) const;

    std::filesystem::path _sim;
    StationShape _shape;
    std::uint32_t _simPulseLength{0};
    std::vector<RegisterLine> _adcMap, _controllerMap;
    std::string _adcMapName, _controllerMapName;
  };

  /// Register map lines of a file (comments and blank lines dropped).
  std::vector<RegisterLine> readRegisterMap(const std::filesystem::path& file);

  /// The map with arrays of `fromLength` elements (or rows of them) resized to `toLength` and,
  /// when `channels` is non-zero, the registers of "Channel0" repeated for Channel0 .. channels-1
  /// (those of other channels dropped). Addresses are laid out again from 0 in map order; a
  /// register that lay inside an earlier one of the same channel (or of no channel) keeps its
  /// place relative to it, its offset scaled with that register's growth.
  std::vector<RegisterLine> scaleRegisterMap(
      const std::vector<RegisterLine>& map, std::uint64_t fromLength, std::uint64_t toLength, std::uint32_t channels);

  std::string formatRegisterMap(const std::vector<RegisterLine>& map);

} // namespace stationbench
