// A station of ADC boards for the board-group tests: per board a register map and a device map
// entry "Adc<N>", a configuration file with the keys the boards and their channels read, and an
// initialisation script "./initHardware.py" that logs each run, all written into the working
// directory. The application holds nothing but the configuration and the board roots; the
// variables of other modules (sampling scheme, scalings) are fed by the test.
#pragma once

#include "DummyOf.h"
#include "AdcBoardRoot.h"

#include <Corvane/Application.h>
#include <Corvane/BackendFactory.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/DummyBackend.h>
#include <Corvane/SetDMapFilePath.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace adcboard {

  constexpr std::uint32_t pulseLength = 16;
  constexpr std::uint32_t tableSize = 4;

  /// Register map of one board with `nChannels` channels (the registers of one channel at least:
  /// a board configured without channels still has its DAQ registers) and the partial vector sum's
  /// DAQ traces unless told otherwise.
  inline std::string boardMap(std::uint32_t board, std::uint32_t configuredChannels, bool withPartialVectorSum = true) {
    const auto nChannels = std::max(configuredChannels, 1u);
    std::ostringstream map;
    std::uint64_t address = 0;
    auto add = [&](const std::string& name, std::uint32_t n, std::uint32_t width, std::uint32_t frac, bool isSigned,
                   const std::string& access, bool sameAddressAsPrevious = false) {
      if(sameAddressAsPrevious) address -= 4;
      map << name << " " << n << " " << address << " " << 4 * n << " 0 " << width << " " << frac << " "
          << (isSigned ? 1 : 0) << " " << access << "\n";
      address += 4 * n;
    };
    add("ToControlSystem.Adc" + std::to_string(board) + ".boardStatus", 1, 32, 0, false, "RO");
    add("Adc.WORD_DAQ_MUX1", 1, 8, 0, false, "RW");
    add("Adc.daqEnableForRawMode", 1, 8, 0, false, "RW");
    add("Adc.timingDividerAdc", 1, 32, 0, false, "RW");
    add("Adc.FirmwareSEUDetection.unrecoverableErrorDetectedRaw", 1, 32, 0, false, "RO");
    add("Adc.FirmwareSEUDetection.crcErrorSinceFpgaBoot", 1, 32, 0, false, "RO");
    add("Adc.FirmwareSEUDetection.eccFixedFramesSinceFpgaBoot", 1, 32, 0, false, "RO");
    add("Adc.BoardInit.bootStatus", 1, 1, 0, false, "RW");
    add("Adc.Configuration.fpgaClockError", 1, 1, 0, false, "RO");
    add("Adc.Status.AttenuatorStatus.ERROR_COUNTERS", 1, 32, 0, false, "RO");
    add("Adc.Configuration.filterCoefficientsValid.state", 1, 1, 0, false, "RW");
    add("Adc.Configuration.filterCoefficientsValid.actualState", 1, 1, 0, false, "RO", true);
    for(std::uint32_t j = 0; j < nChannels; ++j) {
      const auto channel = "Channel" + std::to_string(j);
      add("Adc." + channel + ".daqErrorCounter", 1, 32, 0, false, "RO");
      add("Adc." + channel + ".adcFifoDelay", 1, 8, 0, false, "RW");
      add("Adc." + channel + ".adcFifoReset", 1, 1, 0, false, "RW");
      add("Adc." + channel + ".Filter.coefficients", 5, 32, 28, true, "RW");
      add("Adc." + channel + ".Calibration.sineTable", tableSize, 18, 16, true, "RW");
      add("Adc." + channel + ".Calibration.cosineTable", tableSize, 18, 16, true, "RW");
    }
    for(std::uint32_t j = 0; j < nChannels; ++j) {
      const auto channel = "Channel" + std::to_string(j);
      add("NormalDataMode." + channel + ".amplitudeUncalibrated", pulseLength, 32, 0, true, "RO");
      add("NormalDataMode." + channel + ".phaseUncalibrated", pulseLength, 32, 0, true, "RO");
    }
    for(std::uint32_t j = 0; j < nChannels; ++j) {
      add("RawDataMode.Channel" + std::to_string(j) + ".rawSamples", pulseLength, 16, 0, true, "RO");
    }
    if(withPartialVectorSum) {
      add("NormalDataMode.PartialVectorSum.I", pulseLength, 32, 0, true, "RO");
      add("NormalDataMode.PartialVectorSum.Q", pulseLength, 32, 0, true, "RO");
    }
    return map.str();
  }

  /// One board of a test station: its number, its configured channel count and, where it
  /// differs from that, the channel count of its register map.
  struct Board {
    std::uint32_t number;
    std::uint32_t nChannels;
    std::optional<std::uint32_t> mapChannels{};
    bool mapHasPartialVectorSum{true};
  };

  /// Writes the station's files for the given boards under `name`; returns the device map's
  /// name. Each board has its own register map and a device "Adc<number>". The configuration
  /// key or board module named `omitted` is left out.
  inline std::string writeStation(const std::string& name, const std::vector<Board>& boards, const std::string& omitted) {
    std::ofstream dmap(name + ".dmap");
    std::ostringstream config;
    config << "<configuration><module name=\"Configuration\">\n"
           << "<variable name=\"pulseLength\" type=\"uint32\" value=\"" << pulseLength << "\"/>\n"
           << "<variable name=\"nSinCosTableSize\" type=\"uint32\" value=\"" << tableSize << "\"/>\n"
           << "<variable name=\"phaseStep\" type=\"double\" value=\"0\"/>\n"
           << "<variable name=\"sinSign\" type=\"int32\" value=\"-1\"/>\n"
           << "<variable name=\"rawAdcDecimation\" type=\"uint32\" value=\"4\"/>\n"
           << "<variable name=\"enableAdcChannelStatistics\" type=\"boolean\" value=\"true\"/>\n"
           << "<variable name=\"clockFrequency\" type=\"double\" value=\"81.25\"/>\n"
           << "<variable name=\"IQdetectionLength\" type=\"uint32\" value=\"1\"/>\n"
           << "<variable name=\"bitScalingLengthScaled\" type=\"double\" value=\"100\"/>\n"
           << "<variable name=\"enableControllerChannelStatistics\" type=\"boolean\" value=\"true\"/>\n";
    for(auto& board : boards) {
      const auto number = std::to_string(board.number);
      const auto mapFile = name + "_adc" + number + ".map";
      std::ofstream(mapFile) << boardMap(
          board.number, board.mapChannels.value_or(board.nChannels), board.mapHasPartialVectorSum);
      dmap << "Adc" << number << " (dummy:" << name << "_adc" << number << "?map=" << mapFile << ")\n";
      config << "<module name=\"AdcBoard" << number << "\"><variable name=\"nChannels\" type=\"uint32\" value=\""
             << board.nChannels << "\"/></module>\n";
    }
    config << "</module></configuration>\n";
    std::istringstream lines(config.str());
    std::ofstream file(name + "_base_config.xml");
    for(std::string line; std::getline(lines, line);) {
      if(omitted.empty() || line.find("name=\"" + omitted + "\"") == std::string::npos) file << line << "\n";
    }

    // the board initialisation: logs its argument, prints a line, fails while "<board>.broken" exists
    const std::string script = "initHardware.py";
    std::ofstream(script) << "#!/bin/sh\necho \"$1\" >> initHardware.log\necho \"initialised $1\"\n"
                             "test ! -e \"$1.broken\"\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
            std::filesystem::perms::others_read);
    std::filesystem::remove("initHardware.log");
    return name + ".dmap";
  }

  /// Runs of the initialisation script per board name, counted from its log.
  inline int initRuns(const std::string& boardName) {
    std::ifstream log("initHardware.log");
    int runs = 0;
    for(std::string line; std::getline(log, line);) runs += line == boardName;
    return runs;
  }

  /// Lets the start-up work that waits for the clock finish: the filters' first coefficient
  /// writes under the firmware lock (read-back polled every 10 us) and the FIFO reset pulses.
  template<class Facility>
  void settle(Facility& test) {
    for(int i = 0; i < 20; ++i) test.advanceTime(std::chrono::microseconds(100));
  }

  /// The boards of a station, built as the application builds them: "AdcBoard<number>" with the
  /// description "Signal monitoring on ADC board <number>". Without `reserve` the sequence grows
  /// while the boards are built, so that the boards built first are moved.
  struct BoardsApp : Corvane::Application {
    explicit BoardsApp(const std::vector<Board>& stationBoards, bool reserve = true, const std::string& omittedKey = "")
    : Corvane::Application("boards"), dmap(writeStation("boards", stationBoards, omittedKey)) {
      if(reserve) boards.reserve(stationBoards.size());
      for(auto& board : stationBoards) {
        const auto number = std::to_string(board.number);
        boards.emplace_back(this, "AdcBoard" + number, "Signal monitoring on ADC board " + number);
      }
    }

    Corvane::SetDMapFilePath dmap;
    Corvane::ConfigReader config{this, ".", "boards_base_config.xml"};
    std::vector<AdcBoardRoot> boards;
  };

} // namespace adcboard
