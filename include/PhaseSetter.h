// The phase setter: moves the controller's phase reference to an operator-chosen target in bounded steps, one
// step per macro-pulse. Each step rotates the set-point phase of the table generation and the vector-sum
// calibration by the step, and the output calibration by its negative; it stops by itself when the set-point
// phase is within the tolerance of the target. "Configuration/enablePhaseSetter" 0 takes it out of the
// application (the automation refuses to run beside it).
// One thread, the module's own; it keeps no count of the rotations it issued and reads the set-point phase back.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <string>
#include <unordered_set>

class PhaseSetter : public Corvane::ApplicationModule {
 public:
  PhaseSetter(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  void mainLoop() override;

  Corvane::ScalarPushInputWB<std::int32_t> performAdjustments{this, "performAdjustments", "",
      " Write 1 to this variable to trigger the phase adjustment algorithm. Write 0 to cancel.", {}};
  Corvane::ScalarPollInput<double> rampingSpeed{
      this, "rampingSpeed", "Deg/Macropulse", "Speed of the phase adjustment", {}};
  Corvane::ScalarPushInputWB<double> targetPhase{this, "targetPhase", "Deg", "Target phase", {}};
  Corvane::ScalarPushInputWB<std::int32_t> selectOnCrest{
      this, "selectOnCrest", "", "Set the TARGET_PHASE to 0 deg", {}};
  Corvane::ScalarPushInputWB<std::int32_t> selectAntiCrest{
      this, "selectAntiCrest", "", "Set the TARGET_PHASE to 180 deg", {}};
  Corvane::ScalarPollInput<double> tolerance{
      this, "tolerance", "Deg", "Threshold below two phases are considered equal", {}};
  Corvane::ScalarOutput<std::int32_t> isIdle{
      this, "isIdle", "", "Will be 1 if the algorithm is idle and ready to be started.", {}};
  Corvane::ScalarOutput<std::int32_t> isRamping{this, "isRamping", "", "Will be 1 while the algorithm is working.", {}};

  struct Server : Corvane::VariableGroup {
    using Corvane::VariableGroup::VariableGroup;
    Corvane::ScalarPushInput<std::int64_t> triggerNumber{this, "triggerNumber", "", "Macro pulse trrigger number", {}};
  };

  /// The three receivers of the rotation commands, and the set-point phase read back after each step.
  class Controller : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;

    static constexpr char rotationDescription[] = "Command: Rotate all setpoint phases by the received value";

    struct SetPoint : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPollInput<double> phase{this, "phase", "deg", "Setpoint phase", {}};
      Corvane::ScalarOutput<double> performPhaseRotation{this, "performPhaseRotation", "deg", rotationDescription, {}};
    };
    /// The "performPhaseRotation" command of a calibration.
    struct Rotation : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarOutput<double> performPhaseRotation{this, "performPhaseRotation", "deg", rotationDescription, {}};
    };
    struct CalibrationOwner : Corvane::VariableGroup {
      using Corvane::VariableGroup::VariableGroup;
      Rotation calibration{this, "Calibration", "", {}};
    };

    SetPoint setPoint{this, "SetPoint", "", {}};
    CalibrationOwner vectorSum{this, "VectorSum", "", {}};
    CalibrationOwner output{this, "Output", "", {}};
  };

  Server server{this, "/Server", "", {}};
  Controller controller{this, "/Controller", "Controller parameters", {}};

 private:
  /// Shows the idle state.
  void becomeIdle();
  /// One trigger of an adjustment: the next rotation step, or the end when the target is reached.
  void step();

  /// A warning about a speed or phase that gives no step was logged and still holds.
  bool _warned{false};
};
