// A small station for the application tests: a configuration file, a device map and a
// controller register map written into the working directory under a test's own instance name,
// with any key changed, removed or added per test.
#pragma once

#include "ControllerRegisterMap.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace station {

  /// One configuration key: its type as written in the file and its value (scalars), or its
  /// elements (arrays).
  struct ConfigValue {
    std::string type;
    std::string value;
    std::vector<std::string> elements{};
    bool isArray{false};
  };

  class StationFiles {
   public:
    /// The keys every test station holds unless a test removes them.
    explicit StationFiles(std::string instanceName) : _name(std::move(instanceName)) {
      set("Application/configPatchVersion", "int32", "3");
      set("Configuration/instanceType", "int32", "1");
      set("Configuration/nAdcBoards", "uint32", "1");
      set("Configuration/AdcBoard0/nChannels", "uint32", "2");
      set("Configuration/nSinCosTableSize", "uint32", "4");
      set("Configuration/phaseStep", "double", "0");
      set("Configuration/sinSign", "int32", "-1");
      set("Configuration/enableAdcChannelStatistics", "boolean", "false");
      set("Configuration/rawAdcDecimation", "uint32", "4");
      set("Configuration/pulseLength", "uint32", "16");
      set("Configuration/clockFrequency", "double", "81.25");
      set("Configuration/rfFrequency", "double", "1300");
      set("Configuration/IQdetectionLength", "uint32", "9");
      set("Configuration/maximumTriggerInterval", "int32", "2");
      set("Configuration/allowedPhaseDifference", "double", "5");
      set("Configuration/gradientUnit", "string", "MV/m");
      set("Configuration/gradientUnitPerLength", "string", "MV");
      set("Configuration/powerUnit", "string", "kW");
      set("Configuration/bitScaling", "double", "1000");
      set("Configuration/lengthScale", "double", "2");
      set("Configuration/enableAutomation", "int32", "0");
      set("Configuration/enablePhaseSetter", "int32", "0");
      set("Configuration/enableControllerChannelStatistics", "boolean", "true");
      set("Configuration/enablePerBunchSetpoints", "boolean", "false");
      set("Configuration/nMaxBunches", "uint32", "8");
      set("Configuration/nMaxBeamRegions", "uint32", "2");
      set("Configuration/tZero_samples", "uint32", "4");
    }

    const std::string& name() const { return _name; }

    void set(const std::string& key, const std::string& type, const std::string& value) {
      _keys[key] = ConfigValue{type, value};
    }
    void setArray(const std::string& key, const std::string& type, std::vector<std::string> elements) {
      _keys[key] = ConfigValue{type, "", std::move(elements), true};
    }
    void remove(const std::string& key) { _keys.erase(key); }

    /// Writes "<name>_base_config.xml", "<name>.dmap", "<name>_ctrl.map", a map for each configured
    /// ADC board "Adc<N>" (with the registers of its configured channels) and for each extra device
    /// alias given, and a succeeding "initHardware.py" into the working directory.
    void write(const std::vector<std::string>& extraAliases = {}) const {
      std::ofstream(_name + "_base_config.xml") << configText();
      std::ofstream dmap(_name + ".dmap");
      dmap << "Controller (dummy:" << _name << "_ctrl?map=" << _name << "_ctrl.map)\n";
      std::ofstream(_name + "_ctrl.map")
          << "ToControlSystem.Controller.Status.controllerStatus 1 0 4 0 32 0 0 RO\n"
          << "ToControlSystem.Controller.VectorSum.Calibration.sineTable 1 4 4 0 18 16 1 RW\n"
          << "ToControlSystem.Controller.VectorSum.Calibration.cosineTable 1 8 4 0 18 16 1 RW\n"
          << "ToControlSystem.Controller.Board.fpgaClockError 1 12 4 0 1 0 0 RO\n"
          << controllerRegisters(16);
      // the boards' initialisation script, run whenever a board is opened
      std::ofstream("initHardware.py") << "#!/bin/sh\nexit 0\n";
      std::filesystem::permissions("initHardware.py", std::filesystem::perms::owner_all);
      // one ADC board device per configured board, each with its own map: the registers below
      // ToControlSystem of every board lie at the root of the tree, so their names differ
      auto boards =
          _keys.count("Configuration/nAdcBoards") ? std::stoul(_keys.at("Configuration/nAdcBoards").value) : 0;
      for(unsigned long b = 0; b < boards; ++b) {
        auto alias = "Adc" + std::to_string(b);
        auto map = _name + "_" + alias + ".map";
        dmap << alias << " (dummy:" << _name << "_" << alias << "?map=" << map << ")\n";
        std::ofstream(map) << "ToControlSystem." << (b == 0 ? std::string("Adc") : alias)
                           << ".firmwareVersion 1 0 4 0 32 0 0 RO\n"
                           << "Adc.Configuration.fpgaClockError 1 4 4 0 1 0 0 RO\n"
                           << "Adc.Configuration.filterCoefficientsValid.state 1 8 4 0 1 0 0 RW\n"
                           << "Adc.Configuration.filterCoefficientsValid.actualState 1 8 4 0 1 0 0 RO\n"
                           << "NormalDataMode.normalModeWord 1 12 4 0 32 0 0 RO\n"
                           << "RawDataMode.rawModeWord 1 16 4 0 32 0 0 RO\n"
                           << channelRegisters(b, 20);
      }
      for(auto& alias : extraAliases) {
        dmap << alias << " (dummy:" << _name << "_" << alias << "?map=" << _name << "_" << alias << ".map)\n";
        std::ofstream(_name + "_" + alias + ".map") << alias << ".value 1 0 4 0 32 0 1 RO\n";
      }
    }

   private:
    /// A count of the configuration as the boards read it; `fallback` when absent or not a number.
    unsigned long count(const std::string& key, unsigned long fallback) const {
      auto found = _keys.find(key);
      if(found == _keys.end() || found->second.isArray) return fallback;
      try {
        return std::stoul(found->second.value);
      }
      catch(std::exception&) {
        return fallback;
      }
    }

    /// The controller modules' registers from byte address `address` on, sized by the configured
    /// pulse length.
    std::string controllerRegisters(unsigned long address) const {
      controllertest::ControllerRegisterMap map(address);
      map.addModuleRegisters(count("Configuration/pulseLength", 16));
      return map.text();
    }

    /// The registers of each configured channel of board b, from byte address `address` on, sized
    /// by the configured pulse length and calibration table size.
    std::string channelRegisters(unsigned long b, unsigned long address) const {
      const auto channels = count("Configuration/AdcBoard" + std::to_string(b) + "/nChannels", 0);
      const auto samples = count("Configuration/pulseLength", 16);
      const auto table = count("Configuration/nSinCosTableSize", 4);
      std::string text;
      auto add = [&](const std::string& name, unsigned long n, const std::string& format) {
        text += name + " " + std::to_string(n) + " " + std::to_string(address) + " " + std::to_string(4 * n) + " 0 " +
            format + "\n";
        address += 4 * n;
      };
      for(unsigned long j = 0; j < channels && j < 64; ++j) {
        const auto channel = "Channel" + std::to_string(j);
        add("Adc." + channel + ".daqErrorCounter", 1, "32 0 0 RO");
        add("Adc." + channel + ".adcFifoDelay", 1, "8 0 0 RW");
        add("Adc." + channel + ".adcFifoReset", 1, "1 0 0 RW");
        add("Adc." + channel + ".Filter.coefficients", 5, "32 28 1 RW");
        add("Adc." + channel + ".Calibration.sineTable", table, "18 16 1 RW");
        add("Adc." + channel + ".Calibration.cosineTable", table, "18 16 1 RW");
        add("NormalDataMode." + channel + ".amplitudeUncalibrated", samples, "32 0 1 RO");
        add("NormalDataMode." + channel + ".phaseUncalibrated", samples, "32 0 1 RO");
      }
      return text;
    }

    std::string configText() const {
      // nested <module> elements per key component
      std::string text = "<configuration>\n";
      for(auto& [key, v] : _keys) {
        std::vector<std::string> parts;
        std::size_t start = 0;
        for(std::size_t slash; (slash = key.find('/', start)) != std::string::npos; start = slash + 1) {
          parts.push_back(key.substr(start, slash - start));
        }
        std::string leaf = key.substr(start);
        for(auto& p : parts) text += "<module name=\"" + p + "\">";
        if(v.isArray) {
          text += "<variable name=\"" + leaf + "\" type=\"" + v.type + "\">";
          for(std::size_t i = 0; i < v.elements.size(); ++i) {
            text += "<value i=\"" + std::to_string(i) + "\" v=\"" + v.elements[i] + "\"/>";
          }
          text += "</variable>";
        } else {
          text += "<variable name=\"" + leaf + "\" type=\"" + v.type + "\" value=\"" + v.value + "\"/>";
        }
        for(std::size_t i = 0; i < parts.size(); ++i) text += "</module>";
        text += "\n";
      }
      return text + "</configuration>\n";
    }

    std::string _name;
    std::map<std::string, ConfigValue> _keys;
  };

} // namespace station
