// llrf::RotationParameter: the rotation/scaling module. It turns a scaling factor and a rotation
// angle, optionally combined with cascaded scale/angle inputs, into sine and cosine tables for
// the firmware (the sine table is the imaginary part, the cosine table the real part). The
// formulas come from the signal helpers (llrf/RotationTables.h); this class fixes the module's
// variables, which other modules and the boards reach by path.
//
// Sign convention, one for the whole station: the tables are the complex factor
// scale e^(i angle) (cosine + i sine) by which the firmware multiplies the signal, so a positive
// angle (of the module, of an enabled cascade input or of a performPhaseRotation command) turns
// the signal and the measured phase positively, whatever sinSign. This is what the output vector
// correction, the automation's output correction and the phase setter rely on for the
// controller's output and vector-sum calibrations, and what the ADC channels' calibrations do to
// the detected phase. sinSign only gives the direction of the tables' phase progression
// (k phaseStep, an ADC channel's detection kernel cos(k phaseStep) + i sinSign sin(k phaseStep));
// with one element and phaseStep 0, as in the controller's calibrations, it plays no part.
//
// Variables, relative to the module's directory:
//   scale, angle (double, write-back, tag "DAQ"), performPhaseRotation (double, deg: a command,
//   tagged as such, that rotates the angle by the received value), sineTable, cosineTable
//   (float[tableSize]).
// Cascade inputs, each "enable" (int32) beside its values "scale" and "angle" (double):
//   table size > 1:  "CommonCalibration" (values at "/Configuration/CommonCalibration", shared
//                    by all such modules) and "Cascade"; both tagged "DAQ"
//   else with flag:  "CascadeInputOVC" (tag "DAQ") and "CascadeInputAutomation"
//   else:            none
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ArrayAccessor.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableTags.h>

#include <cstdint>
#include <string>
#include <unordered_set>

namespace llrf {

  class RotationParameter : public Corvane::ApplicationModule {
   public:
    RotationParameter(Corvane::Module* owner, const std::string& name, const std::string& description,
        std::uint32_t tableSize, double phaseStep, double sinSign, bool cascade);
    RotationParameter(RotationParameter&&) noexcept = default;
    RotationParameter& operator=(RotationParameter&&) noexcept = default;

    class Input : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Input() = default;
      Input(Input&&) noexcept = default;
      Input& operator=(Input&&) noexcept = default;

      Corvane::ScalarPushInputWB<double> scale{this, "scale", "", "Scaling factor", {"DAQ"}};
      Corvane::ScalarPushInputWB<double> angle{this, "angle", "deg", "Rotation angle", {"DAQ"}};
      Corvane::ScalarPushInput<double> performPhaseRotation{this, "performPhaseRotation", "deg",
          "Command: Rotate all setpoint phases by the received value", {Corvane::Tags::command}};
    };

    /// One cascaded scale/angle input. Default-constructed it belongs to no module.
    class CascadeInput : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      CascadeInput() = default;
      CascadeInput(CascadeInput&&) noexcept = default;
      CascadeInput& operator=(CascadeInput&&) noexcept = default;

      class Values : public Corvane::VariableGroup {
       public:
        using Corvane::VariableGroup::VariableGroup;
        Values() = default;
        Values(Values&&) noexcept = default;
        Values& operator=(Values&&) noexcept = default;

        Corvane::ScalarPushInput<double> scale{this, "scale", "", "Scaling factor", {}};
        Corvane::ScalarPushInput<double> angle{this, "angle", "deg", "Rotation angle", {}};
      };

      Corvane::ScalarPushInput<std::int32_t> enable{this, "enable", "", "Enable the cascaded scaling and rotation", {}};
      Values values;
    };

    class Output : public Corvane::VariableGroup {
     public:
      Output(Corvane::Module* owner, const std::string& name, const std::string& description, std::uint32_t tableSize)
      : Corvane::VariableGroup(owner, name, description), tableSize(tableSize) {}
      Output(Output&&) noexcept = default;
      Output& operator=(Output&&) noexcept = default;

      std::uint32_t tableSize{0};
      Corvane::ArrayOutput<float> sineTable{this, "sineTable", "", tableSize, "Imaginary part / sine table", {}};
      Corvane::ArrayOutput<float> cosineTable{this, "cosineTable", "", tableSize, "Real part / cosine table", {}};
    };

    std::uint32_t tableSize;
    double phaseStep;
    double sinSign;
    Input input;
    CascadeInput firstCascade;
    CascadeInput secondCascade;
    bool firstCascadeInUse{false};
    bool secondCascadeInUse{false};
    Output output;

    void mainLoop() override;

   private:
    /// Replaces the ownerless placeholder `target` by a cascade input named `name`.
    void buildCascade(CascadeInput& target, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags, const std::string& valuesName);
  };

} // namespace llrf
