// Forced re-initialisation of a board on operator request: any write to "forceReinitialisation"
// clears the firmware's boot status flag and puts the board's device through its fault cycle
// (status FAULT with requestMessage, recovery, status OK), logged as information since it is an
// operator's action. The device's recovery re-opens the board and runs its initialisation
// handlers again (the board's initialisation script among them); the module does not watch the
// recovery itself.
// The input is a command (tagged Tags::command), so it is not persisted.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/DeviceManager.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableTags.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

class BoardForceReinit : public Corvane::ApplicationModule {
 public:
  /// `device` is the board's device module whose initialisation handlers are to run again.
  BoardForceReinit(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
      Corvane::DeviceModule& device, const std::unordered_set<std::string>& tags = {});
  BoardForceReinit(BoardForceReinit&&) noexcept = default;
  BoardForceReinit& operator=(BoardForceReinit&&) noexcept = default;
  ~BoardForceReinit() override = default;

  void mainLoop() override;

  /// Text of the device status message (and log line) while a requested re-initialisation runs.
  static constexpr const char* requestMessage = "Reinitialisation by user request";

 private:
  Corvane::ScalarPushInput<std::int32_t> forceReinitialisation{
      this, "forceReinitialisation", "", "Force re-running full board initialisation now", {Corvane::Tags::command}};
  Corvane::ScalarOutput<Corvane::Boolean> bootStatus{this, "bootStatus", "", "boot status flag in firmware"};

  // The device behind the board's device module (what its reportException reaches), held
  // instead of the module itself so that moving the board group cannot leave it dangling.
  std::shared_ptr<Corvane::DeviceManager> device;
};
