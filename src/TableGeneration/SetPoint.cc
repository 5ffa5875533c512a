#include "TableGeneration/SetPoint.h"

#include "ConfigurationKeys.h"
#include "TableGeneration/SetPointAmplitude.h"
#include "TableGeneration/TGenMain.h"
#include "TableNumerics.h"
#include "tools.h"

#include <Corvane/ConfigReader.h>

#include <cmath>

namespace TableGeneration {

  namespace {
    constexpr const char* setPointSource = "src/TableGeneration/SetPoint";
  }

  SetPoint::Correction::Correction(Corvane::Module* owner, const std::string& name, const std::string& description)
  : Corvane::VariableGroup(owner, name, description),
    pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}

  void SetPoint::prepare() {
    using TableNumerics::finiteAbove;
    auto& validator = _m->validator;
    auto& shape = _m->pulseShape;
    auto& fs = _m->config.samplingFrequency;
    auto& limit = amplitudeLimitOperational;
    auto& absolute = amplitudeLimitAbsolute;

    validator.setFallback(limit, 9e99);
    validator.setFallback(absolute, 9e99);
    validator.setFallback(powerScaling, 1.0);
    // a non-finite phase would reach every sample of both tables
    for(auto* input : {&phase, &phaseSlope, &phaseFillingDelta}) validator.setFallback(*input, 0.0);

    validator.add(
        "Setpoint amplitude must not be negative.", [this] { return amplitude >= 0; }, amplitude);
    validator.add(
        "Setpoint amplitude exceeds amplitude limit.", [this, &limit] { return limit >= amplitude; }, amplitude, limit);
    validator.add(
        "Operational amplitude limit exceeds absolute limit.", [&limit, &absolute] { return absolute >= limit; },
        absolute, limit);
    validator.add(
        "Setpoint amplitude slope must not result in negative amplitudes.",
        [this] { return amplitude + amplitudeSlope >= 0; }, amplitudeSlope, amplitude);
    validator.add(
        "Setpoint amplitude slope exceeds amplitude limit.",
        [this, &limit] { return limit >= amplitude + amplitudeSlope; }, amplitudeSlope, amplitude, limit);
    validator.add(
        "Operational setpoint amplitude limit must be positive.", [&limit] { return finiteAbove(limit, 1e-6); }, limit);
    validator.add(
        "Absolute setpoint amplitude limit must be positive.", [&absolute] { return finiteAbove(absolute, 1e-6); },
        absolute);
    addModulationRules("Setpoint");
    validator.add(
        "Setpoint table delay conflicts with pulse shape settings.",
        [this, &shape, &fs] {
          const double pulse = static_cast<double>(_m->pulseLength) / fs;
          return -shape.delay <= delay && delay < pulse - (shape.delay + shape.fillingDuration + shape.flattopDuration);
        },
        delay, shape.delay, shape.fillingDuration, shape.flattopDuration);
    validator.add(
        "Power scaling must be positive.", [this] { return finiteAbove(powerScaling, 1e-6); }, powerScaling);
    validator.add(
        "Setpoint phase must be finite.", [this] { return std::isfinite(phase); }, phase);
    validator.add(
        "Setpoint phase slope must be finite.", [this] { return std::isfinite(phaseSlope); }, phaseSlope);
    validator.add(
        "Setpoint phase filling delta must be finite.", [this] { return std::isfinite(phaseFillingDelta); },
        phaseFillingDelta);
  }

  void SetPoint::updateParameters(const Corvane::TransferElementID& change) {
    if(!change.isValid()) return;
    if(change == amplitude.getId() || change == powerScaling.getId()) {
      power = amplitude * amplitude / powerScaling;
      power.write();
    } else if(change == power.getId()) {
      takePower();
    }
    if(change == performPhaseRotation.getId()) {
      const double rotation = performPhaseRotation;
      if(!std::isfinite(rotation)) {
        _m->setError("Setpoint phase rotation must be finite.");
        return;
      }
      phase = tools::canonicalPhaseDefinition(phase + rotation);
      phase.write();
      _m->validator.validate(phase.getId()); // the rotated phase is the accepted one
    }
  }

  void SetPoint::takePower() {
    auto restorePower = [this] {
      power = amplitude * amplitude / powerScaling;
      power.write();
    };
    if(!(power >= 0)) {
      _m->setError("Setpoint power must not be negative.");
      restorePower();
      return;
    }
    const double previous = amplitude;
    const double derived = std::sqrt(power * powerScaling);
    amplitude = derived;
    // the derived amplitude passes the amplitude rules or the power is refused
    _m->validator.validate(amplitude.getId());
    if(_m->validator.lastAcceptedValue(amplitude) != derived) {
      amplitude = previous;
      restorePower();
      return;
    }
    amplitude.write();
  }

  void SetPoint::clearTables() { table.clear(); }

  void SetPoint::computeAfterFeedForward(const PerBunchFlattop& perBunch) {
    if(smoothEnable && _m->pulseShape.cwMode == 0)
      computeSetpointFillingFromFFAmplitude();
    else
      computeSetpointFillingAmplitude();
    auto phases = [this] {
      for(std::size_t i = 0; i < table.phase.size(); ++i) table.phase[i] = modulatePhase(static_cast<std::int32_t>(i));
    };
    if(_enablePerBunchSetpoints && perBunch.enabled) {
      phases();
      computeSetpointFlattopFromPerBunchTable(perBunch);
    } else {
      computeSetpointFlattopAmplitude();
      phases();
    }
  }

  void SetPoint::writeTables() { table.write(); }

  double SetPoint::decayRate() const {
    const auto& c = _m->config;
    return fieldDecayPerSample(c.rfFrequency, c.samplingFrequency, c.QLoaded, c.QLoadedFudge);
  }

  void SetPoint::computeSetpointFillingAmplitude() {
    const auto& ix = _m->pulseShape.indices;
    chargingCurveFilling(table.amplitude, ix.spFillingBegin, ix.spFlattopBegin, amplitude, decayRate());
  }

  void SetPoint::computeSetpointFillingFromFFAmplitude() {
    auto& ix = _m->pulseShape.indices;
    std::int64_t o = std::int64_t{ix.ffFillingBegin} - ix.spFillingBegin;
    // the repairs change the shared indices, which the rest of this regeneration then sees
    safeAssert(o + ix.spFillingBegin >= 0, "o + _m->pulseShape.indices.spFillingBegin >= 0", setPointSource, 170, [&] {
      ix.spFillingBegin = 0;
      o = 0;
    });
    safeAssert(o + ix.spFlattopBegin < std::int64_t(_pulseLength),
        "o + _m->pulseShape.indices.spFlattopBegin < int(_pulseLength)", setPointSource, 174, [&] {
          o = 0;
          ix.spFlattopBegin = 1;
        });
    safeAssert(ix.spFlattopBegin > 0, "_m->pulseShape.indices.spFlattopBegin > 0", setPointSource, 178,
        [&] { ix.spFlattopBegin = 1; });
    const auto& feedForward = _m->feedForward.table.amplitude;
    if(!simulatedFilling(
           table.amplitude, feedForward.value(), ix.spFillingBegin, ix.spFlattopBegin, o, amplitude, decayRate())) {
      _m->setError(simulatedFillingFallbackMessage);
      computeSetpointFillingAmplitude();
    }
  }

  void SetPoint::computeSetpointFlattopAmplitude() {
    const auto& ix = _m->pulseShape.indices;
    setPointFlattopAmplitude(table.amplitude, ix.spFlattopBegin, ix.spDecayBegin, amplitude, amplitudeSlope);
  }

  void SetPoint::computeSetpointFlattopFromPerBunchTable(const PerBunchFlattop& perBunch) {
    const auto& ix = _m->pulseShape.indices;
    perBunchSetPointFlattop(table.amplitude, table.phase, ix.spFlattopBegin, ix.spDecayBegin, amplitude, phase,
        perBunch, [this](const char* conditionText, int line) { safeAssert(false, conditionText, setPointSource, line, {}); });
  }

} // namespace TableGeneration
