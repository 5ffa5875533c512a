#include "ReferencePhaseMonitor.h"

#include "ConfigurationLimits.h"
#include "ConfigurationKeys.h"
#include "InstanceType.h"

#include <Corvane/ConfigReader.h>

#include <cmath>
#include <cstdint>

namespace {

  constexpr double pi = 3.141592653589793;

} // namespace

ReferencePhaseMonitor::AdcBoard::AdcBoard(Corvane::Module* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags, std::size_t boardIndex)
: Corvane::VariableGroup(owner, name, description, tags) {
  auto nChannels = ConfigurationLimits::channels(appConfig(), "AdcBoard" + std::to_string(boardIndex));
  channels.reserve(nChannels);
  for(std::uint32_t c = 0; c < nChannels; ++c) {
    channels.emplace_back(this, "Channel" + std::to_string(c), "", std::unordered_set<std::string>{});
  }
}

ReferencePhaseMonitor::ReferencePhaseMonitor(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags), referencePhaseStatus(this, "referencePhaseStatus", "", {}),
  localAverageReferencePhase(
      this, "localAverageReferencePhase", "deg", "average of all reference phases connected to this server instance", {}),
  remoteAverageReferencePhase(this, "remoteAverageReferencePhase", "deg",
      "average of all reference phases from a remote server (master)", {}) {
  auto nBoards = ConfigurationLimits::adcBoards(appConfig());
  boards.reserve(nBoards);
  for(std::uint32_t b = 0; b < nBoards; ++b) {
    boards.emplace_back(this, "/AdcBoard" + std::to_string(b), "", std::unordered_set<std::string>{}, b);
  }
  isSlave = configuredInstanceType(appConfig()) == InstanceType::slave;
}

void ReferencePhaseMonitor::check(double allowedPhaseDifference) {
  std::vector<double> phases;
  for(auto& board : boards) {
    for(auto& channel : board.channels) {
      if(channel.isReference == 1) phases.push_back(static_cast<double>(channel.samples.phase.value()));
    }
  }

  // circular mean: no channel flagged gives 0/0, published as NaN
  double sinSum = 0., cosSum = 0.;
  for(double phase : phases) {
    sinSum += std::sin(phase * pi / 180.);
    cosSum += std::cos(phase * pi / 180.);
  }
  const auto n = static_cast<double>(phases.size());
  const double localAverage = std::atan2(sinSum / n, cosSum / n) * 180. / pi;
  localAverageReferencePhase.setAndWrite(localAverage);

  const double reference = isSlave ? remoteAverageReferencePhase.value() : localAverage;
  auto status = Corvane::StatusOutput::OK;
  for(double phase : phases) {
    double difference = reference - phase;
    if(difference > 180.) difference -= 360.;
    if(difference < -180.) difference += 360.;
    // a difference that is not a number (a NaN phase or reference) counts as a deviation
    if(!(std::abs(difference) <= allowedPhaseDifference)) status = Corvane::StatusOutput::FAULT;
  }
  // written on a change of the value or of the module's data validity only
  referencePhaseStatus.writeIfDifferent(status);
}

void ReferencePhaseMonitor::mainLoop() {
  const auto allowedPhaseDifference = appConfig().get<double>("Configuration/allowedPhaseDifference");
  bool anyChannel = false;
  for(auto& board : boards) anyChannel = anyChannel || !board.channels.empty();
  while(true) {
    check(allowedPhaseDifference);
    // without any ADC channel there is nothing to wait for: the first status stays published
    if(!anyChannel) return;
    readAll();
  }
}
