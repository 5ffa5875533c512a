// The ramp-up parameters of the automation's operator group, declared in the order the operators see them.
#include "Automation.h"

Automation::Main::Operator::Rampup::Rampup(
    Corvane::Module* owner, const std::string& name, const std::string& description)
: Corvane::VariableGroup(owner, name, description, {}),
  initialSetpoint(this, "initialSetpoint", "G.U.", "Initial amplitude set point for the rampup procedure", {}),
  allowedAmplitudeExcess(
      this, "allowedAmplitudeExcess", "G.U.", "Allowed excess of vector sum amplitude w.r.t. set point", {}),
  allowedError(this, "allowedError", "G.U.",
      "Allowed amplitude of error vector after output vector correction and/or in closed-loop operation for the "
      "rampup procedure",
      {}),
  gain(this, "gain", "",
      "Gain of the controller during ramping. Should be smaller than the final gain that is applied after ramping.",
      {}),
  stepsizeSetpoint(this, "stepsizeSetpoint", "G.U.", "Stepsize of amplitude setpoint for the rampup procedure", {}),
  stepsizeGain(this, "stepsizeGain", "", "Stepsize of proportional gain for the rampup procedure", {}),
  pauseRamping(this, "pauseRamping", "", "If 1 ramping will be stopped until set back to 0.", {}),
  type(this, "type", "",
      "0: Ramp in open loop and do OVC at the end. 1: Ramp up in closed loop. Ovc is done dependening on "
      "OVC/rerunDuringRamping.",
      {}),
  ovc(this, "OVC", "Initial output vector correction") {}

Automation::Main::Operator::Rampup::OVC::OVC(
    Corvane::Module* owner, const std::string& name, const std::string& description)
: Corvane::VariableGroup(owner, name, description, {}),
  rateScale(this, "rateScale", "",
      "Maximum change of the scaling factor in each correction step of the output vector correction", {}),
  ratePhase(this, "ratePhase", "deg", "Maximum change of the phase in each correction step of the output vector correction",
      {}),
  maxIterations(this, "maxIterations", "",
      "Maximum number of iterations of the output vector correction until rampup/allowedError must be reached", {}),
  targetError(this, "targetError", "digits",
      "Target amplitude of error vector after output vector correction for the rampup procedure", {}),
  rerunDuringRamping(this, "rerunDuringRamping", "",
      "0: The OVC is run before ramping the gain (if rumping in closed loop it is run also before ramping initial "
      "gain.1: In addition to 0 run OVC after each gradient ramp step.2: In addtion to 0 run OVC after the gradient "
      "loop.3: Combines 0,1,2.",
      {"CS"}),
  debug(this, "debug", "", "Enable debug output to server console", {}),
  maxScale(this, "maxScale", "", "Maximum allowed scaling in the output vector correction", {"CS"}),
  minScale(this, "minScale", "", "Minimum allowed scaling in the output vector correction", {"CS"}) {}
