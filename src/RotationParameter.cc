#include "RotationParameter.h"

#include <llrf/RotationTables.h>

#include <Corvane/Logger.h>

#include <utility>

namespace llrf {

  RotationParameter::RotationParameter(Corvane::Module* owner, const std::string& name, const std::string& description,
      std::uint32_t tableSize_, double phaseStep_, double sinSign_, bool cascade)
  : Corvane::ApplicationModule(owner, name, description, {}), tableSize(tableSize_), phaseStep(phaseStep_),
    sinSign(sinSign_), input(this, ".", ""), output(this, ".", "", tableSize_) {
    if(tableSize > 1) {
      // ADC channel calibrations: one common calibration shared by all channels, and a cascade
      buildCascade(firstCascade, "CommonCalibration",
          "Common calibration for all ADC channels where CommonCalibration/enable has been set", {"DAQ"},
          "/Configuration/CommonCalibration");
      firstCascadeInUse = true;
      buildCascade(secondCascade, "Cascade", "Cascaded rotation/scaling", {"DAQ"}, ".");
      secondCascadeInUse = true;
    }
    else if(cascade) {
      buildCascade(firstCascade, "CascadeInputOVC", "CascadeInput for OVC algorithm", {"DAQ"}, ".");
      firstCascadeInUse = true;
      buildCascade(secondCascade, "CascadeInputAutomation", "CascadeInput for Automation", {}, ".");
      secondCascadeInUse = true;
    }
  }

  void RotationParameter::buildCascade(CascadeInput& target, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags, const std::string& valuesName) {
    target = CascadeInput(this, name, description, tags);
    target.values = CascadeInput::Values(&target, valuesName, "");
  }

  namespace {

    RotationInputs currentInputs(const RotationParameter& module) {
      RotationInputs in;
      in.scale = module.input.scale;
      in.angle = module.input.angle;
      in.tableSize = module.tableSize;
      in.phaseStep = module.phaseStep;
      in.sinSign = module.sinSign;
      auto add = [&](const RotationParameter::CascadeInput& c) {
        in.cascades.push_back(RotationCascade{c.values.scale, c.values.angle, c.enable != 0});
      };
      if(module.firstCascadeInUse) add(module.firstCascade);
      if(module.secondCascadeInUse) add(module.secondCascade);
      return in;
    }

  } // namespace

  void RotationParameter::mainLoop() {
    // Until valid inputs arrive the tables stay zero: no drive rather than an arbitrary one.
    RotationInputs lastValid = currentInputs(*this);
    lastValid.scale = 0.0;
    lastValid.angle = 0.0;
    for(auto& c : lastValid.cascades) c = RotationCascade{};

    auto publish = [&](const RotationTables& tables) {
      output.cosineTable = tables.cosine;
      output.sineTable = tables.sine;
      output.sineTable.write();
      output.cosineTable.write();
    };

    // Takes the inputs as they stand, or returns the write-back inputs to the last valid values.
    auto update = [&] {
      auto candidate = currentInputs(*this);
      auto tables = computeRotationTables(candidate);
      if(tables) {
        lastValid = std::move(candidate);
        publish(tables.value());
        return;
      }
      logger(Corvane::Logger::Severity::warning) << getQualifiedName() << ": " << tables.error();
      if(input.scale != lastValid.scale) input.scale.setAndWrite(lastValid.scale);
      if(input.angle != lastValid.angle) input.angle.setAndWrite(lastValid.angle);
      if(auto fallback = computeRotationTables(lastValid)) publish(fallback.value());
    };

    auto group = readAnyGroup();
    update();
    while(true) {
      auto id = group.readAny();
      if(id == input.performPhaseRotation.getId()) {
        auto rotated = applyPhaseRotation(input.angle, input.performPhaseRotation);
        if(!rotated) {
          logger(Corvane::Logger::Severity::warning) << getQualifiedName() << ": " << rotated.error();
          continue;
        }
        input.angle.setAndWrite(rotated.value());
      }
      update();
    }
  }

} // namespace llrf
