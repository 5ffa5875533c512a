#include "Tessarel.h"

#include "ConfigurationLimits.h"
#include "ConfigurationKeys.h"
#include "PlaceholderUnits.h"

#include <Corvane/DMapFile.h>
#include <Corvane/Exception.h>
#include <Corvane/Logger.h>

#include <set>

namespace {

  const std::string stationTrigger = "/Server/triggerNumber";

  Corvane::Logger::Stream log(Corvane::Logger::Severity severity) { return Corvane::logger(severity, "tessarel"); }

} // namespace

Tessarel::Tessarel(const std::string& instanceName)
: Corvane::Application(instanceName), dmapPath(instanceName + ".dmap"),
  config(this, ".", instanceName + "_base_config.xml"),
  bitScalingMultiplier(this, "Configuration/bitScaling", "digits/G.U.", "Configuration/lengthScale",
      "Configuration/bitScalingLengthScaled", "digits/G.U.L.S.",
      "Bit scaling factor with cavity length scaling, as used for the individual cavity signals.", {}, {}, {}),
  samplingPosition(this, "Configuration/SamplingPosition",
      "Compute sampling frequencies depending on raw mode and daq decimation", {}),
  windowLengthSetter(
      this, "WindowLengthSetter", "Configure DAQ/CTABLE window length through firmware decimation factors", {}),
  controller(this, "Controller", "Controller configuration"), automation(this, ".", "Automation", {}),
  phaseSetter(this, "PhaseSetter", "Redefine controller phase", {}),
  triggerIntervalMonitor(this, "TriggerIntervalMonitor", "Monitoring of trigger interval", {}),
  referencePhaseMonitor(this, "ReferencePhaseMonitor", "Reference Phse Monitor", {}),
  outputVectorCorrection(this, "OutputVectorCorrection", "Slow drift compensation of drive path.", {}),
  forwardVectorSum(this, "ForwardVectorSum",
      "Vector sum of all forward cavity signals used for the output vector correction.", "isForwardSignal", {}),
  learningFeedForward(this, ".", "", {}), beamLoadingCompensation(this, "BeamLoadingCompensation", "", {}),
  server(this, "Server", "Server information", {}),
  monitoringTrigger(this, "MonitoringTrigger", "Periodic trigger for monitoring tasks", 1000, {}, "period", "tick"),
  userVariables(this, "UserVariables", "", {}), versionInfo(this, majorVersion, minorVersion, patchVersion) {
  buildAdcBoards();
  buildExtraDevices();
  // modules share worker threads by execution group: each ADC board's pulse path, the
  // controller's, and one for the rest of the station
  for(std::size_t i = 0; i < adcBoards.size(); ++i) adcBoards[i].setExecutionGroup("AdcBoard" + std::to_string(i));
  controller.setExecutionGroup("Controller");

  eventMessageAggregator =
      Corvane::EventMessageAggregator(this, "Controller/eventMessage", "Aggregate event-based error/warning messages");
  statusAggregator = Corvane::StatusAggregator(this, "Controller/readyStatus",
      "Aggregated status showing whether RF is possible", Corvane::StatusAggregator::PriorityMode{1}, {}, {});

  PlaceholderUnits units(config.get<std::string>("Configuration/gradientUnit"),
      config.get<std::string>("Configuration/gradientUnitPerLength"), config.get<std::string>("Configuration/powerUnit"));
  units.substituteIn(*this);

  microDaq = Corvane::MicroDAQ<std::int64_t>(this, "MicroDAQ", "Local ringbuffer DAQ system", "DAQ", stationTrigger);
}

void Tessarel::buildAdcBoards() {
  auto nAdcBoards = ConfigurationLimits::adcBoards(config);
  // each board is the device "Adc<N>" of the device map: a count beyond the map is the count's error
  if(nAdcBoards > 0) {
    const auto dmapFile = Corvane::getDMapFilePath();
    const auto dmap = Corvane::DMapFile::load(dmapFile);
    for(std::uint32_t i = 0; i < nAdcBoards; ++i) {
      if(!dmap.hasAlias("Adc" + std::to_string(i))) {
        throw Corvane::logic_error(config.file().describe("Configuration/nAdcBoards") + " is " +
            std::to_string(nAdcBoards) + ", but the device map " + dmapFile + " has no device Adc" + std::to_string(i));
      }
    }
  }
  // reserved first: no board group is moved while the others are built
  adcBoards.reserve(nAdcBoards);
  for(std::uint32_t i = 0; i < nAdcBoards; ++i) {
    auto number = std::to_string(i);
    adcBoards.emplace_back(this, "AdcBoard" + number, "Signal monitoring on ADC board " + number);
  }
}

void Tessarel::buildExtraDevices() {
  // optional: absent means no extra device; present, it must be an array of strings
  auto aliases = config.getOptional<std::vector<std::string>>("Configuration/extraDevices").value_or(
      std::vector<std::string>{});
  // Two modules of one alias would feed the same registers twice; say which alias it is.
  std::set<std::string> seen;
  for(auto& alias : aliases) {
    if(!seen.insert(alias).second) {
      throw Corvane::logic_error(
          "Configuration/extraDevices (" + config.file().fileName() + ") lists the device alias '" + alias + "' twice");
    }
  }
  extraDevices.reserve(aliases.size());
  for(auto& alias : aliases) extraDevices.emplace_back(this, alias, stationTrigger);
}

void Tessarel::initialise() {
  auto configPatch = config.get<std::int32_t>("Application/configPatchVersion");
  log(Corvane::Logger::Severity::info) << std::string(64, '*') << "\n*** Tessarel server version " << majorVersion
                                       << "." << minorVersion << "." << patchVersion << "-" << configPatch;
  registerBoardsWithMicroDaq();
  Corvane::Application::initialise();
  log(Corvane::Logger::Severity::info) << std::string(64, '*');
}

void Tessarel::registerBoardsWithMicroDaq() {
  // Only the first board's registers are recorded; the others' variables tagged "DAQ" are.
  if(adcBoards.empty()) {
    log(Corvane::Logger::Severity::warning) << "No ADC board: the MicroDAQ records no ADC board registers";
  }
  else {
    microDaq.addDeviceModule(adcBoards.front().device, "AdcBoard0", "Adc");
  }

  // optional: absent records the status registers only; present, it must be a Boolean
  bool details = config.getOptional<Corvane::Boolean>("Configuration/MicroDAQ/enableDetails").value_or(false);
  const std::string subtree = details ? "Controller" : "Controller/Status";
  microDaq.addDeviceModule(controller.device, subtree, subtree);

  // files only below the station's directory (the working directory), or below the configured root
  if(auto root = config.getOptional<std::string>("Configuration/MicroDAQ/directoryRoot")) {
    microDaq.setDirectoryRoot(*root);
  }
}
