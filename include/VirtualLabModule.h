// The application module of a simulated controller board (SISLDummy), which the board builds
// inside the running application. It owns the cavity model and, in its own thread, finds the
// board behind the controller's device alias "CtrlBoard", wires the cavity model to the board's
// inputs and drive, advances the board's simulated time by one trigger period per pass (about
// every 100 ms, or at each value of "/Server/testTrigger" when tests provide the trigger), counts
// the passes on "trigger" and applies the operators' loaded Q, detuning and impedance.
//
// The module refers to its board without owning it: the board owns the module, so the board
// goes with its device, and a later application in the same process builds a new one. The
// first board of an application publishes its counter as "/Server/triggerNumber", the
// application's macro-pulse trigger. Boards are named "Model", "Model1", ... in the order the
// application builds them. A board whose module finds another device behind "CtrlBoard" logs
// that and leaves its time standing.
//
// Threads: mainLoop runs in the module's thread; it takes the board's mutex for the wiring, for
// each step of the time advance and for the test-mode trigger. The cavity's parameters change
// in this thread between two advances.
#pragma once

#include "CavityModel.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/UserInputValidator.h>

#include <cstdint>
#include <string>

class SISLDummy;

class VirtualLabModule : public Corvane::ApplicationModule {
 public:
  /// The device alias under which the module looks for its board.
  static inline const std::string DUMMY_ALIAS{"CtrlBoard"};

  /// `board` builds and owns this module; it must outlive it.
  VirtualLabModule(SISLDummy& board, Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  VirtualLabModule(VirtualLabModule&&) = delete;
  VirtualLabModule& operator=(VirtualLabModule&&) = delete;

  /// "Model" for the application's first simulated board, then "Model1", "Model2", ...
  static std::string nameInApplication();

  /// Publishes the counter as "/Server/triggerNumber" unless something in the application feeds
  /// that path already (the application's first board takes it).
  void takeApplicationTrigger();

  void mainLoop() override;

  /// Connects the cavity model to the board: drive to the model, the model's forward, reflected
  /// and cavity signals to inputs 0, 1 and 2, constants 1000 and 2000 to input 6. Takes the
  /// board's mutex.
  void connectModel();

  /// One pass's move of the board's time for a test-trigger value (see mainLoop).
  void moveBoardTime(std::int64_t testTriggerValue);

  CavityModel& cavityModel() { return model; }

 private:
  /// Applies the newest operator values of the cavity's parameters that the rules accept.
  void applyParameters();

  SISLDummy* board; // not owned: the board owns this module
  CavityModel model;
  Corvane::ScalarOutput<std::int64_t> trigger{this, "trigger", "", "Trigger output"};
  Corvane::ScalarAccessor<std::int64_t> testTrigger{this, "/Server/testTrigger",
      Corvane::VariableDirection{Corvane::VariableDirection::consuming, false}, "", Corvane::UpdateMode::push,
      "Trigger input (if enabled)"};
  Corvane::ScalarPushInputWB<double> simulatedQl{this, "simulatedQl", "", "Loaded Q of the simulated cavity"};
  Corvane::ScalarPushInputWB<double> simulatedDetuning{this, "simulatedDetuning", "Hz", "Detuning of the simulated cavity"};
  Corvane::ScalarPushInputWB<double> simulatedImpedance{
      this, "simulatedImpedance", "a.u.", "Impedance of the simulated cavity"};
  Corvane::UserInputValidator validator;
};
