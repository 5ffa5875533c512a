// The main loop of the learning feed-forward: one pass per controller error trace.
#include "LearningFeedForward.h"

#include "LearningFeedForwardKernels.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <sstream>

namespace {

  /// Set-point phase changes up to this many degrees leave the tables as they are.
  constexpr double phaseTolerance = 0.001;
  /// Completed averaging cycles dropped after a too large controller error.
  constexpr std::uint32_t pauseCycles = 20;
  /// Samples left out at each end of the learning window when the largest error is looked for.
  constexpr std::int64_t errorWindowMargin = 10;

  /// `microseconds` x `frequency` truncated toward zero, when that is a finite value within int32.
  std::optional<std::int64_t> samplesOf(double microseconds, double frequency) {
    const double samples = std::trunc(microseconds * frequency);
    if(!std::isfinite(samples) || std::abs(samples) > double(std::numeric_limits<std::int32_t>::max())) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(samples);
  }

  bool fitsInt32(std::int64_t value) {
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
  }

} // namespace

void LearningFeedForward::mainLoop() {
  auto& tables = controller.feedForward.correction.learningFeedForward;
  tables.I.write();
  tables.Q.write();
  LoopState state;
  while(true) {
    // blocks for a new error trace (both I and Q) and brings the group's poll inputs up to date
    controller.readAll();
    pass(state);
  }
}

void LearningFeedForward::pass(LoopState& state) {
  auto& parameters = configurationAndStatus;
  if(parameters.reset.readLatest()) {
    resetTables();
    return;
  }
  followSetPointPhase(state);
  parameters.enable.readLatest();
  if(!parameters.enable) {
    setMessage("disabled");
    return;
  }
  if(!learningAllowed(state)) return;

  // A reset that arrives while the parameters are read is taken here instead of being lost in the group read.
  const auto resetVersion = parameters.reset.getVersionNumber();
  parameters.readAllLatest();
  if(parameters.reset.getVersionNumber() != resetVersion) {
    resetTables();
    return;
  }

  accumulateError(state);
  ++state.averageCount;
  if(state.averageCount < std::max<std::uint32_t>(parameters.triggerDecimation, 1)) return;

  // from here on the averaging cycle is complete: whatever happens, the next pulse starts a new one
  state.averageCount = 0;
  configuration.readAllLatest();
  if(auto problem = computeWindow()) {
    setMessage(*problem);
    return;
  }
  double maximum = 0.0;
  if(auto problem = maximumError(maximum)) {
    setMessage(*problem);
    return;
  }
  const double maxError = parameters.maxControlError;
  if(maximum > maxError * maxError) {
    std::ostringstream text;
    text << "too large maximum controller error: " << std::sqrt(maximum);
    setMessage(text.str());
    state.pauseCount = pauseCycles;
    return;
  }
  if(state.pauseCount != 0) {
    --state.pauseCount;
    return;
  }

  ++state.firRunCount;
  const bool firCycle = state.firRunCount >= std::max<std::uint32_t>(parameters.firExtraTriggerDecimation, 1);
  if(firCycle) state.firRunCount = 0;

  const double minError = parameters.minControlError;
  if(minError * minError >= maximum) {
    setMessage("ok (no correction required)");
    return;
  }
  if(auto problem = learningIndexProblem(firCycle)) {
    setMessage(*problem);
    return;
  }

  if(!applyLearning()) {
    setMessage("learning refused: the model gives values that are not finite");
    return;
  }
  auto& tables = controller.feedForward.correction.learningFeedForward;
  if(firCycle && parameters.firEnable) {
    firFilter(tables.I);
    firFilter(tables.Q);
  }
  if(parameters.smoothingEnable) {
    smoothingFilter(tables.I);
    smoothingFilter(tables.Q);
  }
  limitAndWrite();
}

void LearningFeedForward::resetTables() {
  auto& tables = controller.feedForward.correction.learningFeedForward;
  std::fill(tables.I.begin(), tables.I.end(), 0.F);
  tables.I.write();
  std::fill(tables.Q.begin(), tables.Q.end(), 0.F);
  tables.Q.write();
  setMessage("resetting LFF tables");
}

void LearningFeedForward::followSetPointPhase(LoopState& state) {
  const double phase = controller.setPoint.phase;
  // a phase that is not finite would turn the tables into NaN: it is not followed
  if(!std::isfinite(phase) || !(std::abs(phase - state.lastSetPointPhase) > phaseTolerance)) return;
  const double angle = (phase - state.lastSetPointPhase) * std::numbers::pi / 180.0;
  const double cosine = std::cos(angle);
  const double sine = std::sin(angle);
  auto& tables = controller.feedForward.correction.learningFeedForward;
  for(std::size_t k = 0; k < pulseLength; ++k) {
    const double i = tables.I[k];
    const double q = tables.Q[k];
    tables.I[k] = static_cast<float>(i * cosine - q * sine);
    tables.Q[k] = static_cast<float>(i * sine + q * cosine);
  }
  tables.I.write();
  tables.Q.write();
  state.lastSetPointPhase = phase;
}

bool LearningFeedForward::learningAllowed(LoopState& state) {
  if(!controller.feedForward.enable || !controller.feedBack.enable) {
    setMessage("Feedforward or FeedBack is off");
    return false;
  }
  if(controller.pulseShape.cwMode != 0) {
    setMessage("LFF does not operate in CW mode");
    return false;
  }
  const std::uint32_t status = controller.status.controllerStatusForLFF;
  const std::uint32_t ignored = controller.status.bitmaskForInhibitAlgos;
  const bool bad = (status & ~ignored) != 0;
  // a bad status also stops the pulse after it has cleared
  if(bad || state.previousStatusBad) {
    setMessage("LFF disabled due to bad controller status (limiters etc.)");
    state.previousStatusBad = bad;
    return false;
  }
  return true;
}

void LearningFeedForward::accumulateError(const LoopState& state) {
  if(state.averageCount == 0) {
    std::fill(averagedErrorI.begin(), averagedErrorI.end(), 0.F);
    std::fill(averagedErrorQ.begin(), averagedErrorQ.end(), 0.F);
  }
  const auto pulses = static_cast<float>(std::max<std::uint32_t>(configurationAndStatus.triggerDecimation, 1));
  const auto& errorI = controller.error.daq.I;
  const auto& errorQ = controller.error.daq.Q;
  for(std::size_t k = 0; k < pulseLength; ++k) {
    averagedErrorI[k] += errorI[k] / pulses;
    averagedErrorQ[k] += errorQ[k] / pulses;
  }
}

std::optional<std::string> LearningFeedForward::computeWindow() {
  const double frequency = configuration.samplingFrequency;
  const auto& shape = controller.pulseShape;
  const auto pulseStart = samplesOf(shape.delay, frequency);
  const auto start = samplesOf(configurationAndStatus.startTime, frequency);
  const auto stop = samplesOf(
      static_cast<double>(shape.fillingDuration) + shape.flattopDuration + configurationAndStatus.stopTime, frequency);
  const char* const refused = "settings refused: time x sampling frequency is not a finite sample index";
  if(!pulseStart || !start || !stop || !fitsInt32(*pulseStart + *start) || !fitsInt32(*pulseStart + *stop)) {
    return refused;
  }
  pulseStartIndex = static_cast<std::int32_t>(*pulseStart);
  learningStartIndex = static_cast<std::int32_t>(*pulseStart + *start);
  learningStopIndex = static_cast<std::int32_t>(*pulseStart + *stop);
  return std::nullopt;
}

std::optional<std::string> LearningFeedForward::maximumError(double& maximum) const {
  maximum = 0.0;
  const std::int64_t first = std::int64_t{learningStartIndex} + errorWindowMargin;
  const std::int64_t end = std::int64_t{learningStopIndex} - errorWindowMargin;
  if(first >= end) return std::nullopt;
  if(first < 0 || end > std::int64_t{pulseLength}) return "settings refused: error window outside the table";
  for(auto k = static_cast<std::size_t>(first); k < static_cast<std::size_t>(end); ++k) {
    const double i = averagedErrorI[k];
    const double q = averagedErrorQ[k];
    const double squared = i * i + q * q;
    // a NaN sample does not raise the maximum
    if(squared > maximum) maximum = squared;
  }
  return std::nullopt;
}

void LearningFeedForward::limitAndWrite() {
  auto& parameters = configurationAndStatus;
  auto& tables = controller.feedForward.correction.learningFeedForward;
  const auto limit = static_cast<float>(parameters.outputLimit);
  std::int32_t limited = 0;
  for(auto* table : {&tables.I, &tables.Q}) {
    for(auto& sample : *table) {
      if(sample > limit || sample < -limit) {
        sample = std::clamp(sample, -limit, limit);
        limited = 1;
      }
    }
  }
  tables.I.write();
  tables.Q.write();
  parameters.isLimited.setAndWrite(limited);
  setMessage(limited == 0 ? "ok" : "ok (but limited)");
}

void LearningFeedForward::setMessage(const std::string& text) { configurationAndStatus.message.writeIfDifferent(text); }
