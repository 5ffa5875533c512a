// A small ADC board application for the channel tests: the board group "AdcBoard0" with its device modules
// (board registers read on "/Server/triggerNumber", the DAQ arrays read on "/AdcBoard0/normalTrigger"), the
// board's channels and, built after them, the board's firmware table mutex; the dummy board, its register
// map, device map and configuration file are written into the working directory under the instance name.
#pragma once

#include "AdcChannel.h"
#include "LockWatchingBackend.h"
#include "MultiClientFirmwareMutex.h"

#include <Corvane/Application.h>
#include <Corvane/BackendFactory.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/LogCapture.h>
#include <Corvane/Logger.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/SetDMapFilePath.h>
#include <Corvane/TestFacility.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace adctest {

  struct BoardSettings {
    std::string name{"adcboard"};
    unsigned nChannels{1};
    std::uint32_t pulseLength{37};
    bool statistics{true};
    std::uint32_t tableSize{4};
    /// false: channel 0's DAQ error counter comes from an ErrorCounterFeeder instead of the board.
    bool errorCounterOnBoard{true};
  };

  inline const std::string channel0 = "/AdcBoard0/Channel0/";

  /// Writes "<name>.map", "<name>.dmap" (alias Adc0) and "<name>_base_config.xml"; returns the dmap file.
  inline std::string writeBoardFiles(const BoardSettings& s) {
    std::ofstream map(s.name + ".map");
    map << "# name n address bytes bar width frac signed access\n";
    std::uint64_t address = 0;
    auto add = [&](const std::string& name, std::size_t n, const std::string& format) {
      map << name << " " << n << " " << address << " " << 4 * n << " 0 " << format << "\n";
      address += 4 * n;
    };
    for(unsigned j = 0; j < s.nChannels; ++j) {
      const std::string channel = "Channel" + std::to_string(j);
      if(j != 0 || s.errorCounterOnBoard) add("Adc." + channel + ".daqErrorCounter", 1, "32 0 0 RO");
      add("Adc." + channel + ".adcFifoDelay", 1, "8 0 0 RW");
      add("Adc." + channel + ".adcFifoReset", 1, "1 0 0 RW");
      add("Adc." + channel + ".Filter.coefficients", 5, "32 IEEE754 1 RW");
      add("NormalDataMode." + channel + ".amplitudeUncalibrated", s.pulseLength, "32 0 1 RO");
      add("NormalDataMode." + channel + ".phaseUncalibrated", s.pulseLength, "32 0 1 RO");
    }
    map << "Adc.Configuration.filterCoefficientsValid.state 1 " << address << " 4 0 1 0 0 RW\n";
    map << "Adc.Configuration.filterCoefficientsValid.actualState 1 " << address << " 4 0 1 0 0 RO\n";
    std::ofstream(s.name + ".dmap") << "Adc0 (adcwatch:" << s.name << "?map=" << s.name << ".map)\n";
    std::ofstream(s.name + "_base_config.xml")
        << "<configuration><module name=\"Configuration\">\n"
        << "<variable name=\"pulseLength\" type=\"uint32\" value=\"" << s.pulseLength << "\"/>\n"
        << "<variable name=\"enableAdcChannelStatistics\" type=\"boolean\" value=\""
        << (s.statistics ? "true" : "false") << "\"/>\n"
        << "<variable name=\"clockFrequency\" type=\"double\" value=\"100\"/>\n"
        << "<variable name=\"IQdetectionLength\" type=\"uint32\" value=\"100\"/>\n"
        << "</module></configuration>\n";
    return s.name + ".dmap";
  }

  /// Channel 0's DAQ error counter as a board that cannot be read yet delivers it: marked faulty until a count
  /// is written to "/test/daqErrorCounter".
  struct ErrorCounterFeeder : Corvane::ApplicationModule {
    using Corvane::ApplicationModule::ApplicationModule;
    Corvane::ScalarPushInput<std::uint32_t> set{this, "/test/daqErrorCounter", "", ""};
    Corvane::ScalarOutput<std::uint32_t> count{this, "/AdcBoard0/Channel0/daqErrorCounter", "", ""};
    void prepare() override {
      count.setDataValidity(Corvane::DataValidity::faulty);
      count.write();
    }
    void mainLoop() override {
      count.setDataValidity(Corvane::DataValidity::ok);
      while(true) {
        set.read();
        count = set;
        count.write();
      }
    }
  };

  struct BoardApp : Corvane::Application {
    explicit BoardApp(const BoardSettings& s)
    : Corvane::Application(s.name), dmap(writeBoardFiles(s)), config(this, ".", s.name + "_base_config.xml") {
      channels.reserve(s.nChannels);
      for(unsigned j = 0; j < s.nChannels; ++j) {
        channels.emplace_back(&board, "Channel" + std::to_string(j), "Input channel " + std::to_string(j), j,
            s.tableSize, 0.5, -1.0);
      }
      mutex = MultiClientFirmwareMutex(&board, "Configuration/filterCoefficientsValid", "");
      if(!s.errorCounterOnBoard) errorCounterFeeder = ErrorCounterFeeder(this, "ErrorCounterFeeder", "");
    }

    Corvane::SetDMapFilePath dmap;
    Corvane::ConfigReader config;
    Corvane::ModuleGroup board{this, "AdcBoard0", ""};
    Corvane::DeviceModule device{&board, "Adc0", "/Server/triggerNumber", {}, "/Adc"};
    Corvane::DeviceModule normalData{&board, "Adc0", "/AdcBoard0/normalTrigger", {}, "/NormalDataMode"};
    std::vector<AdcChannel> channels;
    MultiClientFirmwareMutex mutex;
    ErrorCounterFeeder errorCounterFeeder;
  };

  inline std::shared_ptr<LockWatchingBackend> boardBackend() {
    return std::dynamic_pointer_cast<LockWatchingBackend>(Corvane::BackendFactory::getInstance().findBackend("Adc0"));
  }

  /// Moves the clock in steps of the mutex's poll interval, so that pending lock changes are confirmed.
  inline void settleLocks(Corvane::TestFacility& test) {
    for(int i = 0; i < 10; ++i) test.advanceTime(std::chrono::microseconds(10));
  }

  using Corvane::LogCapture;

} // namespace adctest
