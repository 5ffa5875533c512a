#include "Tessarel.h"

#include "PlaceholderUnits.h"

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
  auto nAdcBoards = config.get<std::uint32_t>("Configuration/nAdcBoards");
  // reserved first: no board group is moved while the others are built
  adcBoards.reserve(nAdcBoards);
  for(std::uint32_t i = 0; i < nAdcBoards; ++i) {
    auto number = std::to_string(i);
    adcBoards.emplace_back(this, "AdcBoard" + number, "Signal monitoring on ADC board " + number);
  }
}

void Tessarel::buildExtraDevices() {
  std::vector<std::string> aliases;
  try {
    aliases = config.get<std::vector<std::string>>("Configuration/extraDevices");
  }
  catch(Corvane::logic_error&) {
    // optional key: absent or not an array of strings means no extra device
  }
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

  bool details = false;
  try {
    details = config.get<Corvane::Boolean>("Configuration/MicroDAQ/enableDetails");
  }
  catch(Corvane::logic_error&) {
    // absent or not a Boolean: record the status registers only
  }
  const std::string subtree = details ? "Controller" : "Controller/Status";
  microDaq.addDeviceModule(controller.device, subtree, subtree);
}
