#include "VirtualLabModule.h"

#include "SISLDummy.h"

#include <Corvane/Application.h>
#include <Corvane/BackendFactory.h>
#include <Corvane/Time.h>
#include <Corvane/VirtualLab/ConstantSignalSource.h>

#include <chrono>
#include <cmath>
#include <set>
#include <thread>

namespace {
  constexpr const char* applicationTrigger = "/Server/triggerNumber";

  bool fedInApplication(const std::string& path) {
    for(const auto& node : Corvane::Application::getInstance().getAccessorListRecursive()) {
      if(node.getDirection().dir == Corvane::VariableDirection::feeding && node.getPath() == path) return true;
    }
    return false;
  }
} // namespace

VirtualLabModule::VirtualLabModule(SISLDummy& board, Corvane::Module* owner, const std::string& name,
    const std::string& description, const std::unordered_set<std::string>& tags)
: ApplicationModule(owner, name, description, tags), board(&board) {
  // waits in real time for the device manager to open the board, outside the framework
  requestOwnThread();
}

std::string VirtualLabModule::nameInApplication() {
  std::set<std::string> paths;
  for(const auto& node : Corvane::Application::getInstance().getAccessorListRecursive()) paths.insert(node.getPath());
  for(unsigned k = 0;; ++k) {
    std::string name = k == 0 ? "Model" : "Model" + std::to_string(k);
    if(!paths.contains("/" + name + "/simulatedQl")) return name;
  }
}

void VirtualLabModule::takeApplicationTrigger() {
  if(fedInApplication(applicationTrigger)) return;
  trigger = Corvane::ScalarOutput<std::int64_t>(this, applicationTrigger, "", "Trigger output");
}

void VirtualLabModule::connectModel() {
  std::lock_guard lock(board->mutex());
  model.driveSinkI->connect(board->driveSourceI);
  model.driveSinkQ->connect(board->driveSourceQ);
  board->inputSinksI[2]->connect(model.cavitySourceI);
  board->inputSinksQ[2]->connect(model.cavitySourceQ);
  board->inputSinksI[0]->connect(model.forwardSourceI);
  board->inputSinksQ[0]->connect(model.forwardSourceQ);
  board->inputSinksI[1]->connect(model.reflectedSourceI);
  board->inputSinksQ[1]->connect(model.reflectedSourceQ);
  board->inputSinksI[6]->connect(std::make_shared<Corvane::VirtualLab::ConstantSignalSource>(1000.0));
  board->inputSinksQ[6]->connect(std::make_shared<Corvane::VirtualLab::ConstantSignalSource>(2000.0));
}

void VirtualLabModule::moveBoardTime(std::int64_t testTriggerValue) {
  const bool testMode = SISLDummy::testsProvideTrigger;
  if(testMode && testTriggerValue == 0) return;
  if(testTriggerValue == 2) {
    std::lock_guard lock(board->mutex());
    board->processEvent(SISLDummy::onTrigger{});
    return;
  }
  board->advanceToTimer("trigger");
}

void VirtualLabModule::applyParameters() {
  if(simulatedQl.readLatest()) {
    validator.validate(simulatedQl.getId());
    model.setQL(simulatedQl);
  }
  if(simulatedDetuning.readLatest()) {
    validator.validate(simulatedDetuning.getId());
    model.setDetuning(simulatedDetuning);
  }
  if(simulatedImpedance.readLatest()) {
    validator.validate(simulatedImpedance.getId());
    model.setImpedance(simulatedImpedance);
  }
}

void VirtualLabModule::mainLoop() {
  {
    auto backend = Corvane::BackendFactory::getInstance().createBackend(DUMMY_ALIAS);
    auto* found = dynamic_cast<SISLDummy*>(backend.get());
    if(!found) {
      logger(Corvane::Logger::Severity::error)
          << "VirtualLab module enabled despite not using the SISLDummy device. Terminating module thread.";
      return;
    }
    if(found != board) {
      logger(Corvane::Logger::Severity::error) << "VirtualLab module of a second simulated board: the device alias "
                                               << DUMMY_ALIAS << " names another board. Terminating module thread.";
      return;
    }
  }

  // The device manager's thread opens the board. The wait polls in real time and keeps the
  // testable-mode lock, so that a test's step waits for the opening and the wiring below.
  auto& application = Corvane::Application::getInstance();
  while(!board->isOpen()) {
    if(application.getState() != Corvane::Application::State::running) return;
    std::this_thread::sleep_for(std::chrono::microseconds(1000));
  }
  connectModel();

  trigger = 0;
  simulatedQl = model.getQL();
  simulatedDetuning = model.getDetuning();
  simulatedImpedance = model.getImpedance();
  simulatedQl.write();
  simulatedDetuning.write();
  simulatedImpedance.write();

  validator.setErrorFunction([this](const std::string& message) { logger(Corvane::Logger::Severity::warning) << message; });
  validator.add("simulatedQl must be finite and positive",
      [this] { return std::isfinite(simulatedQl.value()) && simulatedQl > 0.0; }, simulatedQl);
  validator.add("simulatedDetuning must be finite", [this] { return std::isfinite(simulatedDetuning.value()); },
      simulatedDetuning);
  validator.add("simulatedImpedance must be finite", [this] { return std::isfinite(simulatedImpedance.value()); },
      simulatedImpedance);
  validator.validate({});

  while(true) {
    setCurrentVersionNumber(Corvane::VersionNumber{});
    trigger.write();
    if(!SISLDummy::testsProvideTrigger) Corvane::sleepFor(std::chrono::milliseconds(100));
    else testTrigger.read();
    applyParameters();
    moveBoardTime(testTrigger);
    trigger = trigger + 1;
  }
}
