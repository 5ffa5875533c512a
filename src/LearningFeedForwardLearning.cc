// The learning step of the learning feed-forward: the checks of a cycle's indices, the recursion's correction and
// the two filters.
#include "LearningFeedForward.h"

#include "LearningFeedForwardKernels.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace Kernels = LearningFeedForwardKernels;

std::optional<std::uint64_t> LearningFeedForward::smoothingStopIndex() const {
  const double stop = configurationAndStatus.smoothingStopTime * static_cast<double>(configuration.samplingFrequency);
  if(!std::isfinite(stop)) return std::nullopt;
  if(stop <= 0.0) return 0;
  if(stop > double(pulseLength)) return std::uint64_t{pulseLength} + 1;
  return static_cast<std::uint64_t>(stop);
}

std::optional<std::string> LearningFeedForward::learningIndexProblem(bool firCycle) const {
  const auto& parameters = configurationAndStatus;
  const std::int64_t length = pulseLength;
  const std::int64_t start = learningStartIndex;
  const std::int64_t stop = learningStopIndex;
  const std::int64_t shift = parameters.shiftCorrectionTable;
  if(parameters.modelOrder > Kernels::maxModelOrder) return "settings refused: model order above 6";
  if(start < stop) {
    // the recursion reads the error at k + 1 for k = start ... stop - 1 and corrects sample k + shift
    if(start < 0 || stop > length - 1) return "settings refused: learning window outside the table";
    if(start + shift < 0 || stop - 1 + shift > length - 1) {
      return "settings refused: shifted learning window outside the table";
    }
  }
  const std::uint32_t firTaps = parameters.firTap;
  if(firCycle && parameters.firEnable && parameters.smoothingEnable && firTaps != 0 && firTaps <= pulseLength) {
    // the FIR filter clears the two samples on each side of the shifted learning window
    if(start + shift - 2 < 0 || stop + shift + 1 > length - 1) {
      return "settings refused: FIR edge samples outside the table";
    }
  }
  const std::uint32_t smoothingTaps = parameters.smoothingTap;
  if(parameters.smoothingEnable && smoothingTaps != 0 && smoothingTaps <= pulseLength) {
    const auto stopIndex = smoothingStopIndex();
    if(!stopIndex) return "settings refused: time x sampling frequency is not a finite sample index";
    const std::int64_t half = smoothingTaps / 2;
    const auto smoothingStop = static_cast<std::int64_t>(*stopIndex);
    if(smoothingStop != 0 && smoothingStop <= length) {
      // a pulse start before the table would clear the whole table
      if(pulseStartIndex < 0) return "settings refused: pulse start before the table";
      if(pulseStartIndex >= half && pulseStartIndex <= smoothingStop && smoothingStop + half > length - 1) {
        return "settings refused: smoothing range outside the table";
      }
    }
  }
  return std::nullopt;
}

bool LearningFeedForward::applyLearning() {
  const auto& parameters = configurationAndStatus;
  if(learningStopIndex <= learningStartIndex) return true;
  const auto start = static_cast<std::size_t>(learningStartIndex);
  const auto stop = static_cast<std::size_t>(learningStopIndex);
  const Kernels::Model model{parameters.modelOrder, bool(parameters.matrixEnableShort), parameters.matrixOmega.value(),
      parameters.matrixBeta.value(), parameters.matrixGamma.value(), parameters.matrixBetaShort.value(),
      parameters.matrixGammaShort.value()};
  const std::size_t count = stop - start;
  std::span<float> incrementI(_incrementI.data(), count);
  std::span<float> incrementQ(_incrementQ.data(), count);
  if(!Kernels::backwardRecursion(model, averagedErrorI, averagedErrorQ, start, stop, incrementI, incrementQ)) {
    return false;
  }
  auto& tables = controller.feedForward.correction.learningFeedForward;
  const auto first = static_cast<std::size_t>(learningStartIndex + parameters.shiftCorrectionTable);
  // the tables are changed only when every corrected sample stays finite
  for(std::size_t j = 0; j < count; ++j) {
    if(!std::isfinite(tables.I[first + j] + incrementI[j]) || !std::isfinite(tables.Q[first + j] + incrementQ[j])) {
      return false;
    }
  }
  for(std::size_t j = 0; j < count; ++j) {
    tables.I[first + j] += incrementI[j];
    tables.Q[first + j] += incrementQ[j];
  }
  return true;
}

void LearningFeedForward::firFilter(Corvane::ArrayOutput<float>& table) {
  const std::uint32_t taps = configurationAndStatus.firTap;
  if(taps == 0 || taps > pulseLength) return;
  const std::size_t half = taps / 2;
  // the samples the average cannot reach keep the table's own values
  std::copy_n(table.begin(), taps - 1 - half, scratchTable.begin());
  std::copy(table.end() - static_cast<std::ptrdiff_t>(half), table.end(),
      scratchTable.end() - static_cast<std::ptrdiff_t>(half));
  Kernels::movingAverage(table.value(), taps, scratchTable);
  if(configurationAndStatus.smoothingEnable) {
    const std::int64_t start = learningStartIndex + std::int64_t{configurationAndStatus.shiftCorrectionTable};
    const std::int64_t stop = learningStopIndex + std::int64_t{configurationAndStatus.shiftCorrectionTable};
    for(auto k : {start - 2, start - 1, stop, stop + 1}) scratchTable[static_cast<std::size_t>(k)] = 0.F;
  }
  table.swap(scratchTable);
}

void LearningFeedForward::smoothingFilter(Corvane::ArrayOutput<float>& table) {
  const std::uint32_t taps = configurationAndStatus.smoothingTap;
  if(taps == 0 || taps > pulseLength) return;
  const auto stop = smoothingStopIndex().value_or(0);
  if(stop == 0 || stop > pulseLength) return;
  const auto pulseStart = static_cast<std::size_t>(pulseStartIndex); // checked not negative
  if(pulseStart < taps / 2) return;
  // the samples up to and including the pulse start become 0
  for(std::size_t i = 0; i < pulseLength; ++i) scratchTable[i] = i <= pulseStart ? 0.F : table[i];
  if(pulseStart <= stop) Kernels::smoothInPlace(scratchTable, taps, pulseStart, static_cast<std::size_t>(stop));
  table.swap(scratchTable);
}
