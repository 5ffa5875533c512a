#include "TableGeneration/PulseShape.h"

#include "TableGeneration/TGenMain.h"
#include "TableNumerics.h"

namespace TableGeneration {

  namespace {
    constexpr const char* pulseShapeSource = "src/TableGeneration/PulseShape";
  }

  void PulseShape::prepare() {
    using TableNumerics::finiteAbove;
    using TableNumerics::finiteAtLeast;
    auto& validator = _m->validator;
    auto& fs = _m->config.samplingFrequency;
    validator.setFallback(flattopDuration, 1.0);
    validator.add(
        "Pulse shape parameters violate maximum pulse length.",
        [this, &fs] { return static_cast<double>(_m->pulseLength) / fs > delay + fillingDuration + flattopDuration; },
        delay, fillingDuration, flattopDuration, fs);
    validator.add(
        "Delay must not be negative.", [this] { return finiteAtLeast(delay, 0.0); }, delay);
    validator.add(
        "Filling duration must not be negative.", [this] { return finiteAtLeast(fillingDuration, 0.0); },
        fillingDuration);
    validator.add(
        "Flattop duration must be positive.", [this] { return finiteAbove(flattopDuration, 0.0); }, flattopDuration);
  }

  void PulseShape::updateParameters(const Corvane::TransferElementID&) { computePulseShapeIndices(); }

  std::int32_t PulseShape::addIndexOffset(std::int32_t index, std::int64_t offset) const {
    return TableNumerics::clampedIndexSum(index, offset, _pulseLength);
  }

  PulseTiming PulseShape::timing() const {
    const auto& ff = _m->feedForward;
    const auto& sp = _m->setPoint;
    PulseTiming t;
    t.samplingFrequency = _m->config.samplingFrequency;
    t.cwMode = cwMode;
    t.delay = delay;
    t.fillingDuration = fillingDuration;
    t.flattopDuration = flattopDuration;
    t.feedForwardDelay = ff.delay;
    t.setPointDelay = sp.delay;
    t.riseFunction = ff.smooth.riseFunction;
    t.stepFunction = ff.smooth.stepFunction;
    t.fallFunction = ff.smooth.fallFunction;
    t.riseTime = ff.smooth.riseTime;
    t.stepTime = ff.smooth.stepTime;
    t.fallTime = ff.smooth.fallTime;
    t.setPointSmoothEnable = sp.smoothEnable;
    t.feedForwardModulationStart = ff.modulationParams.startTime;
    t.feedForwardModulationStop = ff.modulationParams.stopTime;
    t.setPointModulationStart = sp.modulationParams.startTime;
    t.setPointModulationStop = sp.modulationParams.stopTime;
    return t;
  }

  void PulseShape::computePulseShapeIndices() {
    const auto result = computePulseIndices(timing(), _pulseLength,
        [this](const char* conditionText, int line) { safeAssert(false, conditionText, pulseShapeSource, line, {}); });
    indices.fillingStart.writeIfDifferent(result.fillingStart);
    indices.flattopStart.writeIfDifferent(result.flattopStart);
    indices.decayStart.writeIfDifferent(result.decayStart);
    static_cast<TableIndices&>(indices) = result.table;
    _m->feedForward.modulationStart = result.feedForwardModulation.start;
    _m->feedForward.modulationStop = result.feedForwardModulation.stop;
    _m->setPoint.modulationStart = result.setPointModulation.start;
    _m->setPoint.modulationStop = result.setPointModulation.stop;
  }

} // namespace TableGeneration
