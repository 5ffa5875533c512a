#include "AdcBoardRoot.h"

#include "ConfigurationKeys.h"
#include "ConfigurationLimits.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/Exception.h>

namespace {

  const std::string stationTrigger = "/Server/triggerNumber";

  /// The board number text of a board group name "AdcBoard<N>".
  std::string boardNumberOf(const std::string& name) { return name.substr(8); }

  /// A register that each input channel j of a board connects to: "<directory>/Channel<j>/<name>",
  /// with as many elements as the value of `sizeKey` where one is given.
  struct ChannelRegister {
    const char* directory;
    const char* name;
    const char* sizeKey;
  };

  /// The firmware forms a partial vector sum only on boards of exactly this many channels.
  constexpr std::uint32_t partialVectorSumChannels = 10;
  bool hasPartialVectorSum(std::uint32_t nChannels) { return nChannels == partialVectorSumChannels; }
  /// Its DAQ traces "I" and "Q" come with the channels' DAQ arrays.
  constexpr char partialVectorSumDirectory[] = "/NormalDataMode/PartialVectorSum";

  const ChannelRegister channelRegisters[] = {{"/Adc", "daqErrorCounter", nullptr}, {"/Adc", "adcFifoDelay", nullptr},
      {"/Adc", "adcFifoReset", nullptr}, {"/Adc", "Filter/coefficients", nullptr},
      {"/Adc", "Calibration/sineTable", "Configuration/nSinCosTableSize"},
      {"/Adc", "Calibration/cosineTable", "Configuration/nSinCosTableSize"},
      {"/NormalDataMode", "amplitudeUncalibrated", "Configuration/pulseLength"},
      {"/NormalDataMode", "phaseUncalibrated", "Configuration/pulseLength"}};

  /// A register that the board group needs must be in the board's map, of the configured size where one
  /// is given: a missing one would leave variables that no register feeds, and a size that differs would only
  /// be found when the network is connected, without naming the key. `countKey` and `count` are the
  /// configuration that asks for the register, `user` says who reads it.
  void checkRegister(const Corvane::ConfigReader& config, const std::string& countKey, std::uint32_t count,
      const Corvane::RegisterMap& map, const std::string& alias, const std::string& path, const char* sizeKey,
      const std::string& user) {
    if(!map.hasRegister(path)) {
      throw Corvane::logic_error(config.file().describe(countKey) + " is " + std::to_string(count) +
          ", but the register map " + map.fileName() + " of device " + alias + " has no register " + path + " (" +
          user + ")");
    }
    if(!sizeKey) return;
    const auto& info = map.getRegister(path);
    const auto size = config.get<std::uint32_t>(sizeKey);
    if(info.nElements != size) {
      throw Corvane::logic_error(config.file().describe(sizeKey) + " is " + std::to_string(size) + ", but the register " +
          path + " of device " + alias + " has " + std::to_string(info.nElements) + " elements (" + info.location() +
          ")");
    }
  }

  /// Every configured channel, and the partial vector sum of a 10-channel board, must have its registers.
  void checkBoardRegisters(const Corvane::ConfigReader& config, const std::string& channelsKey,
      std::uint32_t nChannels, Corvane::DeviceModule& device, const std::string& alias) {
    const auto& map = device.device().getRegisterMap();
    for(std::uint32_t j = 0; j < nChannels; ++j) {
      for(const auto& wanted : channelRegisters) {
        const auto path = std::string(wanted.directory) + "/Channel" + std::to_string(j) + "/" + wanted.name;
        checkRegister(config, channelsKey, nChannels, map, alias, path, wanted.sizeKey, "channel " + std::to_string(j));
      }
    }
    if(!hasPartialVectorSum(nChannels)) return;
    for(const char* trace : {"I", "Q"}) {
      checkRegister(config, channelsKey, nChannels, map, alias, std::string(partialVectorSumDirectory) + "/" + trace,
          ConfigurationKeys::pulseLength, "partial vector sum");
    }
  }

} // namespace

AdcBoardRoot::AdcBoardRoot(Corvane::ModuleGroup* owner, std::string name, const std::string& description)
: Corvane::ModuleGroup(owner, ".", description), boardName(std::move(name)),
  device(this, "Adc" + boardNumberOf(boardName), stationTrigger, {}, "/ToControlSystem"),
  adcBoard(this, boardName, "") {}

AdcBoardRoot::AdcBoard::AdcBoard(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description)
: Corvane::ModuleGroup(owner, name, description), boardNumber(boardNumberOf(name)), boardName("AdcBoard" + boardNumber),
  deviceAlias("Adc" + boardNumber), device(this, deviceAlias, stationTrigger, {}, "/Adc"),
  normalDataModeDevice(this, deviceAlias, "/" + name + "/normalTrigger", {}, "/NormalDataMode"),
  rawDataModeDevice(this, deviceAlias, "/" + name + "/rawTrigger", {}, "/RawDataMode"),
  initHandler(this, ".", "Board initialisation", "./initHardware.py " + boardName, device, "initScriptOutput", 10),
  forceReinit(this, "BoardInit", "Board initialisation", device),
  daqTriggerMux(this, ".", "Multiplexer for ADC DAQ trigger, to handle raw mode"),
  seuDetection(this, "FirmwareSEUDetection", "Detection of FPGA single event upsets"),
  fpgaClockMonitor(this, "Configuration/fpgaClockError", "Configuration/fpgaClockStatus",
      constant(Corvane::Boolean(false)), constant(Corvane::Boolean(false)), "Monitor of FPGA clock"),
  attenuatorMonitor(this, "Status/AttenuatorStatus/ERROR_COUNTERS", "Status/AttenuatorStatus/STATUS",
      constant(std::uint32_t{0}), constant(Corvane::Boolean(false)), "Monitor of attenuator error counter") {
  auto& config = appConfig();
  const auto nSinCosTableSize = ConfigurationLimits::sinCosTableSize(config);
  const auto phaseStep = config.get<double>("Configuration/phaseStep");
  const auto sinSign = static_cast<double>(config.get<std::int32_t>("Configuration/sinSign"));
  const auto channelsKey = "Configuration/" + name + "/nChannels";
  const auto nChannels = ConfigurationLimits::channels(config, name);
  if(nChannels == 0) {
    // the board's firmware table lock serves its channels' filters: without one it has no client
    throw Corvane::logic_error(config.file().describe(channelsKey) + " is 0: a board has at least one channel");
  }
  checkBoardRegisters(config, channelsKey, nChannels, device, deviceAlias);

  if(hasPartialVectorSum(nChannels)) {
    partialVectorSum = ControllerChannel(
        this, "PartialVectorSum", "Partial vector sum of all included channels of this board", true, true);
  }

  // no relocation while the board is built: the channels register as they are constructed
  channels.reserve(nChannels);
  for(std::uint32_t j = 0; j < nChannels; ++j) {
    const auto number = std::to_string(j);
    channels.emplace_back(
        this, "Channel" + number, "Input channel " + number, std::uint64_t{j}, nSinCosTableSize, phaseStep, sinSign);
  }

  filterCoefficientsValid = MultiClientFirmwareMutex(this, "Configuration/filterCoefficientsValid", "");
}
