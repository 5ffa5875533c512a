#include "ScaledStation.h"

#include <pugixml.hpp>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace stationbench {

  namespace {

    namespace fs = std::filesystem;

    std::string readFile(const fs::path& file) {
      std::ifstream in(file);
      if(!in) throw std::runtime_error("cannot read " + file.string());
      std::stringstream text;
      text << in.rdbuf();
      return text.str();
    }

    void writeFile(const fs::path& file, const std::string& text) {
      std::ofstream out(file);
      out << text;
      if(!out) throw std::runtime_error("cannot write " + file.string());
    }

    /// The index of the "Channel<n>" component of a register name, or -1.
    int channelOf(const std::string& name, std::smatch& match) {
      static const std::regex channel(R"((^|[./])Channel([0-9]+)([./]|$))");
      if(!std::regex_search(name, match, channel)) return -1;
      return std::stoi(match[2].str());
    }

    std::string withChannel(const std::smatch& match, std::uint32_t channel) {
      return match.prefix().str() + match[1].str() + "Channel" + std::to_string(channel) + match[3].str() +
          match.suffix().str();
    }

    /// The <module> element for the components of `path` below `parent`, created when missing.
    pugi::xml_node moduleFor(pugi::xml_node parent, const std::string& path) {
      std::stringstream components(path);
      for(std::string name; std::getline(components, name, '/');) {
        auto child = parent.find_child_by_attribute("module", "name", name.c_str());
        if(!child) {
          child = parent.append_child("module");
          child.append_attribute("name") = name.c_str();
        }
        parent = child;
      }
      return parent;
    }

    /// Sets (or adds) a scalar key "A/B/name" of the given type.
    void setKey(pugi::xml_node root, const std::string& key, const std::string& type, const std::string& value) {
      auto slash = key.rfind('/');
      auto module = moduleFor(root, key.substr(0, slash));
      auto name = key.substr(slash + 1);
      auto variable = module.find_child_by_attribute("variable", "name", name.c_str());
      if(!variable) {
        variable = module.append_child("variable");
        variable.append_attribute("name") = name.c_str();
        variable.append_attribute("type") = type.c_str();
        variable.append_attribute("value");
      }
      variable.attribute("value") = value.c_str();
    }

    struct DeviceLine {
      std::string alias, type, address, mapFile, parameters;
    };

    /// "ALIAS (TYPE:ADDRESS?map=FILE&more)"; false for comments and other lines.
    bool parseDeviceLine(const std::string& line, DeviceLine& device) {
      static const std::regex pattern(R"(^\s*(\S+)\s+\(([^:]+):([^?)]*)\?map=([^&)]+)([^)]*)\)\s*$)");
      std::smatch match;
      if(!std::regex_match(line, match, pattern)) return false;
      device = {match[1], match[2], match[3], match[4], match[5]};
      return true;
    }

    std::string deviceText(const DeviceLine& d) {
      return d.alias + " (" + d.type + ":" + d.address + "?map=" + d.mapFile + d.parameters + ")\n";
    }

  } // namespace

  std::vector<RegisterLine> readRegisterMap(const fs::path& file) {
    std::vector<RegisterLine> map;
    std::stringstream text(readFile(file));
    for(std::string line; std::getline(text, line);) {
      std::stringstream fields(line);
      RegisterLine reg;
      std::string count, address;
      if(!(fields >> reg.name) || reg.name[0] == '#') continue;
      if(!(fields >> count >> address >> reg.bytes >> reg.bar)) {
        throw std::runtime_error(file.string() + ": cannot read the register line '" + line + "'");
      }
      if(auto x = count.find('x'); x != std::string::npos) {
        reg.rows = std::stoull(count.substr(0, x));
        reg.elements = std::stoull(count.substr(x + 1));
      }
      else {
        reg.elements = std::stoull(count);
      }
      if(auto colon = address.find(':'); colon != std::string::npos) {
        reg.bit = address.substr(colon);
        address.resize(colon);
      }
      reg.address = std::stoull(address, nullptr, 0);
      std::getline(fields, reg.rest);
      map.push_back(reg);
    }
    return map;
  }

  std::vector<RegisterLine> scaleRegisterMap(
      const std::vector<RegisterLine>& map, std::uint64_t fromLength, std::uint64_t toLength, std::uint32_t channels) {
    struct Placed {
      RegisterLine original, scaled;
      int replica; // channel, or -1
    };
    std::vector<Placed> placed;
    std::map<std::uint32_t, std::uint64_t> nextFree;

    auto place = [&](const RegisterLine& original, std::string name, int replica) {
      RegisterLine reg = original;
      reg.name = std::move(name);
      const std::uint64_t count = original.rows * original.elements;
      const std::uint64_t bytesPerElement = count ? original.bytes / count : 4;
      if(reg.elements == fromLength) reg.elements = toLength;
      reg.bytes = reg.rows * reg.elements * bytesPerElement;
      // inside an earlier register of the same channel, or of none: keep the relative place
      const Placed* container = nullptr;
      for(auto it = placed.rbegin(); it != placed.rend(); ++it) {
        const auto& o = it->original;
        if(o.bar == original.bar && original.address >= o.address && original.address < o.address + o.bytes &&
            (it->replica == replica || it->replica == -1)) {
          container = &*it;
          break;
        }
      }
      if(container) {
        if(container->replica != replica) {
          throw std::runtime_error("register " + original.name + " lies inside " + container->original.name +
              ", which belongs to no channel: not supported when channels are repeated");
        }
        const auto offset = original.address - container->original.address;
        reg.address = container->scaled.address + offset * container->scaled.bytes / container->original.bytes;
      }
      else {
        reg.address = nextFree[reg.bar];
      }
      nextFree[reg.bar] = std::max(nextFree[reg.bar], (reg.address + reg.bytes + 3) / 4 * 4);
      placed.push_back({original, reg, replica});
    };

    for(auto& reg : map) {
      std::smatch match;
      int channel = channels ? channelOf(reg.name, match) : -1;
      if(channel < 0) {
        place(reg, reg.name, -1);
      }
      else if(channel == 0) {
        for(std::uint32_t c = 0; c < channels; ++c) place(reg, withChannel(match, c), int(c));
      }
    }
    std::vector<RegisterLine> result;
    for(auto& p : placed) result.push_back(p.scaled);
    return result;
  }

  std::string formatRegisterMap(const std::vector<RegisterLine>& map) {
    std::ostringstream text;
    text << "# name n address bytes bar width fracBits signed access\n";
    for(auto& reg : map) {
      text << reg.name << " ";
      if(reg.rows != 1) text << reg.rows << "x";
      text << reg.elements << " 0x" << std::hex << reg.address << std::dec << reg.bit << " " << reg.bytes << " " << reg.bar
           << reg.rest << "\n";
    }
    return text.str();
  }

  ScaledStation::ScaledStation(fs::path simDirectory, StationShape shape) : _sim(std::move(simDirectory)), _shape(shape) {
    pugi::xml_document config;
    if(!config.load_string(readFile(_sim / "tessarel_base_config.xml").c_str())) {
      throw std::runtime_error("cannot parse " + (_sim / "tessarel_base_config.xml").string());
    }
    auto pulseLength = config.select_node("//module[@name='Configuration']/variable[@name='pulseLength']");
    if(!pulseLength) throw std::runtime_error("the simulated station has no Configuration/pulseLength");
    _simPulseLength = pulseLength.node().attribute("value").as_uint();

    std::stringstream dmap(readFile(_sim / "tessarel.dmap"));
    for(std::string line; std::getline(dmap, line);) {
      DeviceLine device;
      if(!parseDeviceLine(line, device)) continue;
      if(device.alias == "Controller") _controllerMapName = device.mapFile;
      if(device.alias == "Adc0") _adcMapName = device.mapFile;
    }
    if(_controllerMapName.empty() || _adcMapName.empty()) {
      throw std::runtime_error("the simulated station's device map has no Controller or no Adc0 device");
    }
    _adcMap = readRegisterMap(_sim / _adcMapName);
    // the application's registers alone: the simulated board's own ones stay with the board
    for(auto& reg : readRegisterMap(_sim / _controllerMapName)) {
      if(reg.name.rfind("ToControlSystem.", 0) == 0) _controllerMap.push_back(reg);
    }
  }

  void ScaledStation::write(const fs::path& directory) const {
    fs::create_directories(directory);

    pugi::xml_document config;
    config.load_string(readFile(_sim / "tessarel_base_config.xml").c_str());
    auto root = config.child("configuration");
    auto configuration = moduleFor(root, "Configuration");
    // one board module per board, each a copy of the first board's keys with the channel count
    pugi::xml_node firstBoard = configuration.find_child_by_attribute("module", "name", "AdcBoard0");
    for(auto board = configuration.child("module"); board;) {
      auto next = board.next_sibling("module");
      if(std::string(board.attribute("name").value()).rfind("AdcBoard", 0) == 0 && board != firstBoard) {
        configuration.remove_child(board);
      }
      board = next;
    }
    if(!firstBoard) firstBoard = moduleFor(configuration, "AdcBoard0");
    for(std::uint32_t b = 1; b < _shape.boards; ++b) {
      auto copy = configuration.append_copy(firstBoard);
      copy.attribute("name") = ("AdcBoard" + std::to_string(b)).c_str();
    }
    for(std::uint32_t b = 0; b < _shape.boards; ++b) {
      setKey(root, "Configuration/AdcBoard" + std::to_string(b) + "/nChannels", "uint32",
          std::to_string(_shape.channelsPerBoard));
    }
    if(_shape.boards == 0) configuration.remove_child(firstBoard);
    setKey(root, "Configuration/nAdcBoards", "uint32", std::to_string(_shape.boards));
    setKey(root, "Configuration/pulseLength", "uint32", std::to_string(_shape.pulseLength));
    for(const char* key : {"enableAdcChannelStatistics", "enableControllerChannelStatistics"}) {
      setKey(root, std::string("Configuration/") + key, "boolean", _shape.statistics != 0 ? "true" : "false");
    }
    if(!config.save_file((directory / "tessarel_base_config.xml").c_str())) {
      throw std::runtime_error("cannot write " + (directory / "tessarel_base_config.xml").string());
    }

    std::string dmapText = "# the simulated station, scaled for the station benchmark\n";
    std::stringstream dmap(readFile(_sim / "tessarel.dmap"));
    for(std::string line; std::getline(dmap, line);) {
      DeviceLine device;
      if(!parseDeviceLine(line, device)) continue;
      if(device.alias.rfind("Adc", 0) == 0) {
        if(device.alias != "Adc0") continue;
        for(std::uint32_t b = 0; b < _shape.boards; ++b) {
          auto board = device;
          board.alias = "Adc" + std::to_string(b);
          board.address = "benchAdc" + std::to_string(b);
          board.mapFile = adcMapName(b);
          dmapText += deviceText(board);
        }
      }
      else if(device.alias != "CtrlBoard") { // the simulated board's alias for its own module
        if(device.mapFile != _controllerMapName) fs::copy_file(_sim / device.mapFile, directory / device.mapFile,
            fs::copy_options::overwrite_existing);
        if(device.type == "SISLDummy") {
          device.type = "dummy";
          device.parameters.clear();
        }
        dmapText += deviceText(device);
      }
    }
    writeFile(directory / "tessarel.dmap", dmapText);
    // the board roots put the registers below ToControlSystem at the top of the variable tree:
    // each board needs names of its own there ("Adc" for the first, as simulated, "Adc1", ...)
    const auto adcMap = scaleRegisterMap(_adcMap, _simPulseLength, _shape.pulseLength, _shape.channelsPerBoard);
    for(std::uint32_t b = 0; b < _shape.boards; ++b) {
      auto boardMap = adcMap;
      for(auto& reg : boardMap) {
        const std::string prefix = "ToControlSystem.";
        if(b == 0 || reg.name.rfind(prefix, 0) != 0) continue;
        auto end = reg.name.find('.', prefix.size());
        reg.name.insert(end == std::string::npos ? reg.name.size() : end, std::to_string(b));
      }
      writeFile(directory / adcMapName(b), formatRegisterMap(boardMap));
    }
    writeFile(directory / _controllerMapName,
        formatRegisterMap(scaleRegisterMap(_controllerMap, _simPulseLength, _shape.pulseLength, 0)));
    fs::copy_file(_sim / "initHardware.py", directory / "initHardware.py", fs::copy_options::overwrite_existing);
    fs::permissions(directory / "initHardware.py", fs::perms::owner_all, fs::perm_options::add);
  }

  std::string ScaledStation::adcMapName(std::uint32_t board) const {
    if(board == 0) return _adcMapName;
    auto stem = fs::path(_adcMapName).stem().string(), extension = fs::path(_adcMapName).extension().string();
    return stem + std::to_string(board) + extension;
  }

  std::vector<ScaledStation::PulseRegister> ScaledStation::pulseRegisters(
      const std::vector<RegisterLine>& scaledMap, const std::function<bool(const std::string&)>& wanted) const {
    std::vector<PulseRegister> result;
    for(auto& reg : scaledMap) {
      if(!wanted(reg.name) || reg.elements != _shape.pulseLength) continue;
      result.push_back({reg.name, reg.rows * reg.elements, reg.bytes / (reg.rows * reg.elements)});
    }
    return result;
  }

  std::vector<ScaledStation::PulseRegister> ScaledStation::adcPulseRegisters(const std::string& subtree) const {
    return pulseRegisters(scaleRegisterMap(_adcMap, _simPulseLength, _shape.pulseLength, _shape.channelsPerBoard),
        [&](const std::string& name) { return name.rfind(subtree + ".", 0) == 0; });
  }

  std::vector<ScaledStation::PulseRegister> ScaledStation::controllerDaqRegisters() const {
    return pulseRegisters(scaleRegisterMap(_controllerMap, _simPulseLength, _shape.pulseLength, 0),
        [](const std::string& name) { return name.find(".DAQ.") != std::string::npos; });
  }

  std::uint64_t ScaledStation::bytesReadPerPulse() const {
    std::uint64_t bytes = 0;
    for(auto& reg : adcPulseRegisters("NormalDataMode")) bytes += reg.elements * reg.bytesPerElement;
    bytes *= _shape.boards;
    for(auto& reg : scaleRegisterMap(_controllerMap, _simPulseLength, _shape.pulseLength, 0)) {
      if(reg.name.rfind("ToControlSystem.", 0) == 0 && reg.elements == _shape.pulseLength &&
          reg.rest.find("WO") == std::string::npos) {
        bytes += reg.bytes;
      }
    }
    return bytes;
  }

} // namespace stationbench
