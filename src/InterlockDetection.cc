#include "InterlockDetection.h"

bool InterlockDetection::trips(bool detectionEnabled, double threshold, float amplitude, std::uint8_t latchStatus) {
  const bool amplitudeTooLow = !(static_cast<double>(amplitude) >= threshold);
  return (detectionEnabled && amplitudeTooLow) || latchStatus >= firstLatchedStatus;
}

void InterlockDetection::prepare() {
  interlockDetected.setAndWrite(false);
  interlockFirmwareStatus.setAndWrite(0);
  controller.feedForward.enable.setAndWrite(false);
  controller.feedBack.enable.setAndWrite(false);
  controller.ilockLatchEnable.setAndWrite(false);
  controller.ilockLatchReset.setAndWrite(false);
}

void InterlockDetection::mainLoop() {
  writeAll(false);
  auto group = readAnyGroup();
  _latchSwitchedOn = false;
  _resetPulseCount = 0;
  while(true) {
    const auto updated = group.readAny();
    if(updated == reset.getId()) {
      interlockDetected.setAndWrite(false);
      controller.ilockLatchReset.setAndWrite(true);
    }
    else if(updated == feedForward.enable.getId()) {
      // requests that arrive while latched are dropped, not kept for after the reset
      if(!interlockDetected) controller.feedForward.enable.setAndWrite(feedForward.enable.value());
    }
    else if(updated == feedBack.enable.getId()) {
      if(!interlockDetected) controller.feedBack.enable.setAndWrite(feedBack.enable.value());
    }
    else if(updated == controller.vectorSum.daq.samples.amplitude.getId()) {
      countResetPulse();
    }
    switchLatch();
    checkForTrip();
  }
}

void InterlockDetection::countResetPulse() {
  if(!controller.ilockLatchReset) return;
  if(_resetPulseCount == 1) {
    controller.ilockLatchReset.setAndWrite(false);
    _resetPulseCount = 0;
  }
  else {
    _resetPulseCount = 1;
  }
}

void InterlockDetection::switchLatch() {
  if(enable && !_latchSwitchedOn) {
    controller.ilockLatchEnable.setAndWrite(true);
    publishFirmwareStatus();
    _latchSwitchedOn = true;
  }
  else if(!enable && _latchSwitchedOn) {
    controller.ilockLatchEnable.setAndWrite(false);
    _latchSwitchedOn = false;
  }
}

void InterlockDetection::checkForTrip() {
  if(interlockDetected) return;
  if(!trips(enable, threshold, controller.vectorSum.daq.samples.amplitude, controller.ilockLatchStatus)) return;
  publishFirmwareStatus();
  controller.feedForward.enable.setAndWrite(false);
  controller.feedBack.enable.setAndWrite(false);
  interlockDetected.setAndWrite(true);
}

void InterlockDetection::publishFirmwareStatus() {
  interlockFirmwareStatus.setAndWrite(static_cast<std::int32_t>(controller.ilockLatchStatus.value()));
}
