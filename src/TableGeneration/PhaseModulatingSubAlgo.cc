#include "TableGeneration/PhaseModulatingSubAlgo.h"

#include "TableGeneration/PhaseRule.h"
#include "TableGeneration/TGenMain.h"

namespace TableGeneration {

  namespace {
    constexpr const char* source = "src/TableGeneration/PhaseModulatingSubAlgo";
  }

  PhaseModulatingSubAlgo::PhaseModulatingSubAlgo(TGenMain* owner, const std::string& name,
      const std::string& description, const std::unordered_set<std::string>& tags)
  : SubAlgo(owner, name, description, tags),
    modulationGroupName(name == "SetPoint" ? "Setpoint" : name),
    modulationParams(
        this, "../PhaseModulation/" + modulationGroupName, "Parameters for phase modulation", {"DAQ", "PARAMS"}) {}

  bool PhaseModulatingSubAlgo::isSetPoint() const { return this == &_m->setPoint; }

  double PhaseModulatingSubAlgo::modulatePhase(std::int32_t i) const {
    const auto& sp = _m->setPoint;
    const auto& indices = _m->pulseShape.indices;
    PhaseRuleInputs in;
    in.phase = sp.phase;
    in.phaseFillingDelta = sp.phaseFillingDelta;
    in.phaseSlope = sp.phaseSlope;
    in.frequencyModulation = _m->frequencyModulation.enable;
    in.frequencyOffset = _m->frequencyModulation.offset;
    in.samplingFrequency = _m->config.samplingFrequency;
    in.cwMode = _m->pulseShape.cwMode;
    in.ffFillingBegin = indices.ffFillingBegin;
    // the feed-forward table sees the set-point flat-top moved to its own delay
    // (unclamped)
    const std::int64_t shift = isSetPoint() ? 0 : std::int64_t{indices.spDelaySamples} - indices.ffDelaySamples;
    in.flattopBegin = indices.spFlattopBegin - shift;
    in.flattopEnd = indices.spDecayBegin - shift;
    in.functionSelect = modulationParams.functionSelect;
    in.maximumPhaseOffset = modulationParams.maximumPhaseOffset;
    in.timeConstant = modulationParams.timeConstant;
    in.window = {modulationStart, modulationStop};
    return phaseOfSample(
        in, i, [this](const char* conditionText, int line) { safeAssert(false, conditionText, source, line, {}); });
  }

} // namespace TableGeneration
