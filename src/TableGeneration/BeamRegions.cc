#include "TableGeneration/BeamRegions.h"

#include "ConfigurationLimits.h"
#include "TableGeneration/TGenMain.h"
#include "TableNumerics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace TableGeneration {

  namespace {

    constexpr const char* beamRegionsSource = "src/TableGeneration/BeamRegions";
    constexpr double epsilon = std::numeric_limits<double>::epsilon();

    /// A number as "%f" prints it (six decimals).
    std::string fixed(double value) {
      char text[400];
      std::snprintf(text, sizeof(text), "%f", value);
      return text;
    }

  } // namespace

  BeamRegions::BeamRegions(TGenMain* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : SubAlgo(owner, name, description, tags) {}

  BeamRegions::BeamRegions() = default;

  std::size_t BeamRegions::tableLength() const {
    return std::min<std::size_t>(nMaxBunches, ConfigurationLimits::maxPulseLength);
  }

  std::size_t BeamRegions::regionTableLength(std::uint32_t configured) const {
    return std::min<std::size_t>(configured, ConfigurationLimits::maxBeamRegions + 1);
  }

  void BeamRegions::prepare() {
    if(!_enablePerBunchSetpoints) return;
    using TableNumerics::finiteAbove;
    auto& validator = _m->validator;
    auto& pulse = _m->pulseShape;
    auto& limit = _m->setPoint.amplitudeLimitOperational;
    validator.setFallback(shapeLimit.radius, 1e-10);
    validator.setFallback(shapeLimit.deltaScalarSP, 1.0);
    validator.add(
        "Setpoint slope radius must be positive.", [this] { return finiteAbove(shapeLimit.radius, 1e-12); },
        shapeLimit.radius);
    validator.add(
        "Setpoint per-bunch/scalar delta must be positive.",
        [this] { return finiteAbove(shapeLimit.deltaScalarSP, 1e-12); }, shapeLimit.deltaScalarSP);
    validator.add(
        "Filling must end before T_ZERO in per-bunch setpoint mode",
        [this, &pulse] {
          // a T_ZERO of 0 gives -1: the enabled state is then refused
          const double beforeTZero = static_cast<double>(std::int64_t{tZero_samples} - 1);
          return !enable || beforeTZero / _m->config.samplingFrequency >= pulse.delay + pulse.fillingDuration;
        },
        pulse.delay, pulse.fillingDuration, enable);
    // the accepted tables stay in force while a check fails: the limit may not
    // fall below the amplitudes they hold
    validator.add(
        "Operational amplitude limit below an active per-bunch amplitude.",
        [this, &limit] {
          if(!enableActual) return true;
          return std::ranges::all_of(
              amplitudeActual, [&limit](double a) { return std::isnan(a) || a <= limit + epsilon; });
        },
        limit);
    tablesStatus.set(Corvane::StatusWithMessage::Status::OFF, "");
    writeAll(false);
  }

  void BeamRegions::updateParameters(const Corvane::TransferElementID& change) {
    if(!_enablePerBunchSetpoints) return;
    if(!change.isValid() || change == shapeLimit.radius.getId()) {
      safeAssert(shapeLimit.radius > 0., "shapeLimit.radius > 0.", beamRegionsSource, 56, [this] { shapeLimit.radius = 1e-12; });
      shapeLimit.limits.setRadius(shapeLimit.radius);
    }
    checkPerBunchTablesAndUpdateActual(change);
    if(!enableActual) return;
    // the scalar set-point shows the first bunch and carries no slopes
    const auto b0 = firstBeamBunch(bunchIsTransitionActual);
    auto& sp = _m->setPoint;
    sp.amplitude.writeIfDifferent(amplitudeActual[b0]);
    safeAssert(std::isfinite(sp.amplitude.value()), "std::isfinite(_m->setPoint.amplitude)", beamRegionsSource, 67,
        [&sp] { sp.amplitude.setAndWrite(0.0); });
    sp.power.setAndWrite(sp.amplitude * sp.amplitude / sp.powerScaling);
    sp.phase.writeIfDifferent(phaseActual[b0]);
    safeAssert(std::isfinite(sp.phase.value()), "std::isfinite(_m->setPoint.phase)", beamRegionsSource, 70,
        [&sp] { sp.phase.setAndWrite(0.0); });
    sp.amplitudeSlope.writeIfDifferent(0.0);
    sp.phaseSlope.writeIfDifferent(0.0);
    sp.phaseFillingDelta.writeIfDifferent(0.0);
  }

  bool BeamRegions::startsCheck(const Corvane::TransferElementID& change) const {
    const auto& pulse = _m->pulseShape;
    for(const auto& id : {enable.getId(), bunchIsTransition.getId(), amplitude.getId(), phase.getId(),
            shapeLimit.radius.getId(), _m->setPoint.amplitudeLimitOperational.getId(), pulse.delay.getId(),
            pulse.fillingDuration.getId(), pulse.flattopDuration.getId()}) {
      if(change == id) return true;
    }
    return false;
  }

  void BeamRegions::checkPerBunchTablesAndUpdateActual(const Corvane::TransferElementID& change) {
    if(!_enablePerBunchSetpoints || !change.isValid() || !startsCheck(change)) return;
    using Status = Corvane::StatusWithMessage::Status;
    if(change == enable.getId() && !enable) {
      enableActual.writeIfDifferent(false);
      tablesStatus.writeIfDifferent(Status::OFF, "");
      return;
    }
    if(const auto fault = tableFault()) {
      warn(*fault);
      return;
    }
    const auto indices = computeBeamRegionIndices();
    // the last region would swallow the rest of the pattern
    if(indices.tooManyBeamRegions) {
      warn("Too many beam regions (max: " + std::to_string(nMaxBeamRegions) + ")!");
      return;
    }
    if(!computeBunchOkRegionOkTables(indices)) {
      warn("Per-bunch setpoint tables violate maximum slew rate.");
      return;
    }
    amplitudeActual.writeIfDifferent(amplitude.value());
    phaseActual.writeIfDifferent(phase.value());
    bunchIsTransitionActual.writeIfDifferent(bunchIsTransition.value());
    nBeamRegions.writeIfDifferent(indices.nBeamRegions);
    nTransitionRegions.writeIfDifferent(indices.nTransitionRegions);
    startIndexBeam.writeIfDifferent(indices.startIndexBeam);
    startIndexTransition.writeIfDifferent(indices.startIndexTransition);
    if(enable && !enableActual) {
      const double first = amplitudeActual[firstBeamBunch(bunchIsTransition)];
      // written so that a NaN set-point counts as a mismatch
      if(!(std::abs(_m->setPoint.amplitude - first) <= shapeLimit.deltaScalarSP)) {
        warn("Table mode not enabled due to setpoint mismatch with scalar mode.");
        return;
      }
      enableActual.writeIfDifferent(true);
    }
    if(enableActual) {
      if(beamRegionCut()) {
        warn("Beam region cut due to short flattop.");
      } else {
        tablesStatus.writeIfDifferent(Status::OK, "");
      }
    } else if(!enable) {
      tablesStatus.writeIfDifferent(Status::OFF, "");
    }
  }

  std::optional<std::string> BeamRegions::tableFault() const {
    if(std::ranges::all_of(bunchIsTransition, [](Corvane::Boolean t) { return bool(t); })) {
      return "At least one beam region required.";
    }
    const double limit = _m->setPoint.amplitudeLimitOperational;
    for(const double a : amplitude) {
      if(!std::isnan(a) && !(a >= -epsilon && a <= limit + epsilon)) {
        return "Per-bunch amplitude " + fixed(a) + " out of range [0 ... " + fixed(limit) + "]";
      }
    }
    for(std::size_t i = 0; i < bunchIsTransition.size(); ++i) {
      const bool isTransition = bunchIsTransition[i];
      if(isTransition != std::isnan(amplitude[i]) || isTransition != std::isnan(phase[i])) {
        return "Per-bunch setpoint tables inconsistent";
      }
    }
    // an infinite value would reach the set-point table
    for(std::size_t i = 0; i < bunchIsTransition.size(); ++i) {
      if(!bunchIsTransition[i] && !(std::isfinite(amplitude[i]) && std::isfinite(phase[i]))) {
        return "Per-bunch setpoint of bunch " + std::to_string(i) + " not finite (amplitude " + fixed(amplitude[i]) +
            ", phase " + fixed(phase[i]) + ")";
      }
    }
    return std::nullopt;
  }

  void BeamRegions::warn(const std::string& message) {
    if(enable) tablesStatus.writeIfDifferent(Corvane::StatusWithMessage::Status::WARNING, message);
  }

  bool BeamRegions::beamRegionCut() const {
    const std::int64_t flattopBunches = std::int64_t{_m->pulseShape.indices.decayStart} - tZero_samples;
    const auto n = static_cast<std::size_t>(std::clamp<std::int64_t>(flattopBunches, 0, bunchIsTransition.size()));
    return std::any_of(bunchIsTransition.begin() + static_cast<std::ptrdiff_t>(n), bunchIsTransition.end(),
        [](Corvane::Boolean t) { return !t; });
  }

  std::size_t BeamRegions::firstBeamBunch(const std::vector<Corvane::Boolean>& flags) {
    const auto it = std::ranges::find(flags, Corvane::Boolean{false});
    return it == flags.end() ? 0 : static_cast<std::size_t>(it - flags.begin());
  }

  BeamRegions::BeamRegionIndices BeamRegions::computeBeamRegionIndices() {
    const std::int64_t flattopBunches = std::int64_t{_m->pulseShape.indices.decayStart} - tZero_samples;
    auto indices = scanBeamRegions(bunchIsTransition.value(), flattopBunches, nMaxBeamRegions);
    if(indices.tooManyBeamRegions) {
      _m->setError("Too many beam regions (max: " + std::to_string(nMaxBeamRegions) + ")!");
    }
    if(flattopBunches <= 0) return indices; // no regions at all
    safeAssert(indices.nTransitionRegions == indices.nBeamRegions + 1,
        "regionIndices.nTransitionRegions == regionIndices.nBeamRegions + 1", beamRegionsSource, 340, [&indices] {
          indices.nBeamRegions = std::min(indices.nBeamRegions, indices.nTransitionRegions - 1);
          indices.nTransitionRegions = indices.nBeamRegions + 1;
        });
    return indices;
  }

  bool BeamRegions::computeBunchOkRegionOkTables(const BeamRegionIndices& indices) {
    auto check = checkSlewRate(indices, amplitude.value(), phase.value(), bunchIsTransition.value(), shapeLimit.limits,
        _m->config.samplingFrequency, transitionMinTime.size(),
        [this] { safeAssert(false, "startIdx <= endIdx", beamRegionsSource, 224, {}); });
    bunchOk.swap(check.bunchOk);
    bunchOk.writeDestructively();
    transitionOk.setAndWrite(check.transitionOk);
    transitionMinTime.swap(check.transitionMinTime);
    transitionMinTime.writeDestructively();
    return check.ok;
  }

  PerBunchFlattop BeamRegions::perBunchFlattop() const {
    PerBunchFlattop view;
    view.enabled = _enablePerBunchSetpoints && enableActual;
    view.tZeroSamples = tZero_samples;
    view.amplitude = amplitudeActual.value();
    view.phase = phaseActual.value();
    view.nBeamRegions = nBeamRegions;
    view.nTransitionRegions = nTransitionRegions;
    view.startIndexBeam = startIndexBeam.value();
    view.startIndexTransition = startIndexTransition.value();
    return view;
  }

  std::vector<Corvane::VariableNetworkNode> BeamRegions::flattopOutputs() const {
    if(!_enablePerBunchSetpoints) return {};
    return {enableActual, amplitudeActual, phaseActual, nBeamRegions, nTransitionRegions, startIndexBeam,
        startIndexTransition};
  }

} // namespace TableGeneration
