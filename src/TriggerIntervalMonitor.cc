#include "TriggerIntervalMonitor.h"

#include <Corvane/Time.h>

#include <chrono>

TriggerIntervalMonitor::~TriggerIntervalMonitor() = default;
TriggerIntervalMonitor::Server::~Server() = default;
TriggerIntervalMonitor::MonitoringTrigger::~MonitoringTrigger() = default;

void TriggerIntervalMonitor::mainLoop() {
  auto group = readAnyGroup();
  // the first interval counts from here, not from a trigger before start-up
  auto lastTrigger = Corvane::steadyNow();

  // FAULT until the first trigger arrives
  triggerStatus.setAndWrite(Corvane::StatusOutput::FAULT);
  _statusValidity = Corvane::DataValidity::ok;

  while(true) {
    auto changed = group.readAny();
    if(changed == server.triggerNumber.getId()) {
      auto now = Corvane::steadyNow();
      auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - lastTrigger);
      triggerInterval.setAndWrite(static_cast<double>(elapsed.count()) / 1000000.0);
      writeStatusIfChanged(Corvane::StatusOutput::OK);
      lastTrigger = now;
    }
    else if(changed == monitoringTrigger.tick.getId()) {
      auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Corvane::steadyNow() - lastTrigger);
      if(static_cast<std::int64_t>(elapsed.count()) > _maximumInterval) {
        writeStatusIfChanged(Corvane::StatusOutput::FAULT);
      }
    }
  }
}

void TriggerIntervalMonitor::writeStatusIfChanged(Corvane::StatusOutput::Status status) {
  if(triggerStatus.value() == status && getDataValidity() == _statusValidity) return;
  triggerStatus.setAndWrite(status);
  _statusValidity = getDataValidity();
}
