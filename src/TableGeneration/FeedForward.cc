#include "TableGeneration/FeedForward.h"

#include "TableGeneration/FeedForwardAmplitude.h"
#include "TableGeneration/TGenMain.h"
#include "TableNumerics.h"

namespace TableGeneration {

  void FeedForward::prepare() {
    using TableNumerics::finiteAtLeast;
    auto& validator = _m->validator;
    auto& shape = _m->pulseShape;
    auto& fs = _m->config.samplingFrequency;
    // the time left after the pulse, in us
    auto timeAfterPulse = [this, &shape, &fs] {
      return static_cast<double>(_m->pulseLength) / fs - (shape.delay + shape.fillingDuration + shape.flattopDuration);
    };
    auto functionInRange = [](std::int32_t selector) { return selector >= 0 && selector <= 2; };

    validator.setFallback(flattopRatio, 0.5);
    validator.add(
        "Flattop ratio must not be negative.", [this] { return finiteAtLeast(flattopRatio, 0.0); }, flattopRatio);
    validator.add(
        "Feed-forward table delay conflicts with pulse shape settings.",
        [this, &shape, timeAfterPulse] { return delay >= -shape.delay && timeAfterPulse() > delay; }, delay,
        shape.delay, shape.fillingDuration, shape.flattopDuration);
    validator.add(
        "Feed forward smooth rise function out of range.",
        [this, functionInRange] { return functionInRange(smooth.riseFunction); }, smooth.riseFunction);
    validator.add(
        "Feed forward smooth step function out of range.",
        [this, functionInRange] { return functionInRange(smooth.stepFunction); }, smooth.stepFunction);
    validator.add(
        "Feed forward smooth fall function out of range.",
        [this, functionInRange] { return functionInRange(smooth.fallFunction); }, smooth.fallFunction);
    validator.add(
        "Feed forward smooth timing out of range.",
        [this, &shape, timeAfterPulse] {
          const auto& s = smooth;
          if(!(s.riseTime >= 0 && s.stepTime >= 0 && s.fallTime >= 0)) return false;
          const double rise = s.riseFunction != 0 ? double(s.riseTime) : 0.0;
          const double step = s.stepFunction != 0 ? double(s.stepTime) : 0.0;
          const double fall = s.fallFunction != 0 ? double(s.fallTime) : 0.0;
          return shape.fillingDuration - rise >= step && shape.flattopDuration >= step &&
              shape.fillingDuration - step >= rise && timeAfterPulse() > fall;
        },
        smooth.riseFunction, smooth.stepFunction, smooth.fallFunction, smooth.riseTime, smooth.stepTime,
        smooth.fallTime, shape.delay, shape.fillingDuration, shape.flattopDuration);
    validator.add(
        "Pulse delay must not be negative.", [&shape] { return shape.delay >= 0; }, shape.delay);
    addModulationRules("Feed-forward");
  }

  void FeedForward::clearTables() { table.clear(); }

  void FeedForward::computeIndependent() {
    computeFeedForwardFillingAmplitude();
    computeFeedForwardFlattopAmplitude();
    for(std::size_t i = 0; i < table.phase.size(); ++i) table.phase[i] = modulatePhase(static_cast<std::int32_t>(i));
  }

  void FeedForward::computeAfterSetpoint(const PerBunchFlattop& perBunch) {
    if(!_enablePerBunchSetpoints || !perBunch.enabled) return;
    computeFeedForwardFlattopFromPerBunchTable(perBunch);
  }

  void FeedForward::writeTables() { table.write(); }

  namespace {
    FeedForwardAmplitudeInputs amplitudeInputs(const FeedForward& ff, const SetPoint& sp) {
      return {sp.amplitude, sp.amplitudeSlope, ff.flattopRatio, ff.smooth.riseFunction, ff.smooth.stepFunction,
          ff.smooth.fallFunction};
    }
  } // namespace

  void FeedForward::computeFeedForwardFillingAmplitude() {
    feedForwardFillingAmplitude(table.amplitude, _m->pulseShape.indices, amplitudeInputs(*this, _m->setPoint));
  }

  void FeedForward::computeFeedForwardFlattopAmplitude() {
    feedForwardFlattopAmplitude(table.amplitude, _m->pulseShape.indices, amplitudeInputs(*this, _m->setPoint));
  }

  void FeedForward::computeFeedForwardFlattopFromPerBunchTable(const PerBunchFlattop& perBunch) {
    const auto& sp = _m->setPoint.table;
    feedForwardFlattopFromPerBunchTable(table.amplitude, table.phase, sp.amplitude.value(), sp.phase.value(),
        _m->pulseShape.indices, flattopRatio, perBunch);
  }

} // namespace TableGeneration
