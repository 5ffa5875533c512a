#include "AdcBoardRoot.h"

#include <Corvane/ConfigReader.h>

namespace {

  const std::string stationTrigger = "/Server/triggerNumber";

  /// The board number text of a board group name "AdcBoard<N>".
  std::string boardNumberOf(const std::string& name) { return name.substr(8); }

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
  const auto nSinCosTableSize = config.get<std::uint32_t>("Configuration/nSinCosTableSize");
  const auto phaseStep = config.get<double>("Configuration/phaseStep");
  const auto sinSign = static_cast<double>(config.get<std::int32_t>("Configuration/sinSign"));
  const auto nChannels = config.get<std::uint32_t>("Configuration/" + name + "/nChannels");

  // no relocation while the board is built: the channels register as they are constructed
  channels.reserve(nChannels);
  for(std::uint32_t j = 0; j < nChannels; ++j) {
    const auto number = std::to_string(j);
    channels.emplace_back(
        this, "Channel" + number, "Input channel " + number, std::uint64_t{j}, nSinCosTableSize, phaseStep, sinSign);
  }

  filterCoefficientsValid = MultiClientFirmwareMutex(this, "Configuration/filterCoefficientsValid", "");
}
