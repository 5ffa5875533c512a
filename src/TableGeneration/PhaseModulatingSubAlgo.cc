#include "TableGeneration/PhaseModulatingSubAlgo.h"

#include "TableGeneration/PhaseRule.h"
#include "TableGeneration/TGenMain.h"

namespace TableGeneration {

  namespace {
    constexpr const char* phaseModulatingSubAlgoSource = "src/TableGeneration/PhaseModulatingSubAlgo";
  }

  PhaseModulatingSubAlgo::PhaseModulatingSubAlgo(TGenMain* owner, const std::string& name,
      const std::string& description, const std::unordered_set<std::string>& tags)
  : SubAlgo(owner, name, description, tags),
    modulationGroupName(name == "SetPoint" ? "Setpoint" : name),
    modulationParams(
        this, "../PhaseModulation/" + modulationGroupName, "Parameters for phase modulation", {"DAQ", "PARAMS"}) {}

  void PhaseModulatingSubAlgo::addModulationRules(const std::string& table) {
    auto& validator = _m->validator;
    auto& filling = _m->pulseShape.fillingDuration;
    auto& m = modulationParams;
    validator.add(
        table + " phase modulation start time must not be negative.", [&m] { return m.startTime >= 0; }, m.startTime);
    validator.add(
        table + " phase modulation stop time was set after end of filling.",
        [&m, &filling] { return m.functionSelect == 0 || filling >= m.stopTime; }, m.stopTime, filling,
        m.functionSelect);
    validator.add(
        table + " phase modulation stop time must be bigger than start time.",
        [&m] { return m.functionSelect == 0 || m.stopTime > m.startTime; }, m.startTime, m.stopTime, m.functionSelect);
    // negative selects fail as well
    validator.add(
        table + " phase function select must be 0 or 1",
        [&m] { return static_cast<std::uint32_t>(std::int32_t{m.functionSelect}) <= 1; }, m.functionSelect);
  }

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
        in, i, [this](const char* conditionText, int line) { safeAssert(false, conditionText, phaseModulatingSubAlgoSource, line, {}); });
  }

} // namespace TableGeneration
