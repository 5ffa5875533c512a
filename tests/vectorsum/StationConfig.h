// A configuration file for the tests of the modules that read every ADC channel: the board and
// channel counts, pulse length and instance type, written into the working directory under a
// test's own instance name, with keys changed, added or removed per test.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vectorsum {

  class StationConfig {
   public:
    /// `channelsPerBoard[b]` channels on board b.
    StationConfig(std::string instanceName, const std::vector<std::uint32_t>& channelsPerBoard,
        std::uint32_t pulseLength = 16)
    : _name(std::move(instanceName)) {
      set("Configuration/nAdcBoards", "uint32", std::to_string(channelsPerBoard.size()));
      for(std::size_t b = 0; b < channelsPerBoard.size(); ++b) {
        set("Configuration/AdcBoard" + std::to_string(b) + "/nChannels", "uint32", std::to_string(channelsPerBoard[b]));
      }
      set("Configuration/pulseLength", "uint32", std::to_string(pulseLength));
      set("Configuration/instanceType", "int32", "1");
      set("Configuration/allowedPhaseDifference", "double", "10");
    }

    const std::string& name() const { return _name; }

    StationConfig& set(const std::string& key, const std::string& type, const std::string& value) {
      _keys[key] = {type, value};
      return *this;
    }
    StationConfig& remove(const std::string& key) {
      _keys.erase(key);
      return *this;
    }

    /// Writes "<name>_base_config.xml" and returns its file name.
    std::string write() const {
      std::string text = "<configuration>\n";
      for(auto& [key, value] : _keys) {
        std::vector<std::string> parts;
        std::size_t start = 0;
        for(std::size_t slash; (slash = key.find('/', start)) != std::string::npos; start = slash + 1) {
          parts.push_back(key.substr(start, slash - start));
        }
        for(auto& part : parts) text += "<module name=\"" + part + "\">";
        text += "<variable name=\"" + key.substr(start) + "\" type=\"" + value.first + "\" value=\"" + value.second +
            "\"/>";
        for(std::size_t i = 0; i < parts.size(); ++i) text += "</module>";
        text += "\n";
      }
      text += "</configuration>\n";
      auto fileName = _name + "_base_config.xml";
      std::ofstream(fileName) << text;
      return fileName;
    }

   private:
    std::string _name;
    std::map<std::string, std::pair<std::string, std::string>> _keys;
  };

  /// Path of a variable of ADC channel c of board b.
  inline std::string channelPath(std::size_t b, std::size_t c, const std::string& variable) {
    return "/AdcBoard" + std::to_string(b) + "/Channel" + std::to_string(c) + "/" + variable;
  }

} // namespace vectorsum
