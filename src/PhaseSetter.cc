#include "PhaseSetter.h"

#include "ConfigurationKeys.h"

#include <llrf/Phase.h>

#include <Corvane/ConfigReader.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

PhaseSetter::PhaseSetter(Corvane::Module* owner, const std::string& name, const std::string& description,
    const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags) {
  if(appConfig().get<std::int32_t>(ConfigurationKeys::enablePhaseSetter) == 0) disable();
}

void PhaseSetter::mainLoop() {
  isIdle = 1;
  writeAll(false);
  auto group = readAnyGroup();
  while(true) {
    const auto updated = group.readAny();
    if(updated == selectOnCrest.getId()) {
      targetPhase.setAndWrite(0.0);
      selectAntiCrest.setAndWrite(0);
    }
    else if(updated == selectAntiCrest.getId()) {
      targetPhase.setAndWrite(180.0);
      selectOnCrest.setAndWrite(0);
    }
    else if(updated == targetPhase.getId()) {
      selectOnCrest.setAndWrite(0);
      selectAntiCrest.setAndWrite(0);
    }
    else if(updated == performAdjustments.getId()) {
      const bool adjusting = performAdjustments != 0;
      isIdle = adjusting ? 0 : 1;
      isRamping = adjusting ? 1 : 0;
      isIdle.write();
      isRamping.write();
    }
    else if(updated == server.triggerNumber.getId() && performAdjustments != 0) {
      step();
    }
  }
}

void PhaseSetter::step() {
  const double speed = rampingSpeed;
  const double difference = llrf::canonicalPhaseDefinition(targetPhase - controller.setPoint.phase);
  // a speed or a phase that is not a number, or a negative speed, would rotate for ever or send NaN
  if(!std::isfinite(speed) || speed < 0.0 || !std::isfinite(difference)) {
    if(!_warned) {
      logger(Corvane::Logger::Severity::warning)
          << "No phase step: the ramping speed must be a finite number of at least 0 and the target and set-point "
             "phases finite (rampingSpeed "
          << speed << ", targetPhase " << targetPhase.value() << ", set-point phase "
          << controller.setPoint.phase.value() << ")." << std::endl;
      _warned = true;
    }
    return;
  }
  _warned = false;
  if(tolerance > std::abs(difference)) {
    performAdjustments.setAndWrite(0);
    becomeIdle();
    return;
  }
  const double rotation = std::clamp(difference, -speed, speed);
  controller.setPoint.performPhaseRotation.setAndWrite(rotation);
  controller.vectorSum.calibration.performPhaseRotation.setAndWrite(rotation);
  controller.output.calibration.performPhaseRotation.setAndWrite(-rotation);
}

void PhaseSetter::becomeIdle() {
  isIdle.setAndWrite(1);
  isRamping.setAndWrite(0);
}
