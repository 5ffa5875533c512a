#include "BbfStatus.h"

#include "ConfigurationLimits.h"

#include <Corvane/DataConsistencyGroup.h>

#include <algorithm>

BbfStatus::BbfStatus(Corvane::Module* owner, const std::string& name, const std::string& description,
    const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags),
  nMaxBeamRegions(ConfigurationLimits::beamRegions(appConfig())), ena(this, "/BeamBasedFeedback/ENA", "", "", {}),
  amplitudeLimitActive(this, "/BeamBasedFeedback/AMPL/LIMIT_ACT", "", nMaxBeamRegions, "", {}),
  phaseLimitActive(this, "/BeamBasedFeedback/PHASE/LIMIT_ACT", "", nMaxBeamRegions, "", {}),
  limitReset(this, "/BeamBasedFeedback/LIMIT_RESET_INTERNAL", "", "", {}),
  bbfLimiterStatus(this, "bbfLimiterStatus", "", {}) {}

void BbfStatus::mainLoop() {
  limitReset.write();
  auto group = readAnyGroup();
  Corvane::DataConsistencyGroup limitPair{amplitudeLimitActive, phaseLimitActive};
  bool firstPass = true;
  Corvane::TransferElementID changed;
  while(true) {
    if(ena == 0) {
      bbfLimiterStatus.writeIfDifferent(Corvane::StatusOutput::OFF, "L-IBFB switched off");
    }
    else if(firstPass || limitPair.update(changed)) {
      evaluateLimits();
    }
    firstPass = false;
    changed = group.readAny();
  }
}

void BbfStatus::evaluateLimits() {
  auto isSet = [](std::uint8_t flag) { return flag != 0; };
  const bool active = std::any_of(amplitudeLimitActive.begin(), amplitudeLimitActive.end(), isSet) ||
      std::any_of(phaseLimitActive.begin(), phaseLimitActive.end(), isSet);
  if(active) {
    limitReset.write();
    bbfLimiterStatus.writeIfDifferent(Corvane::StatusOutput::WARNING, "L-IBFB limit active");
  }
  else {
    bbfLimiterStatus.writeOkIfDifferent();
  }
}
