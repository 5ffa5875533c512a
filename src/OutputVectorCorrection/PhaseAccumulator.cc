#include "OutputVectorCorrection/PhaseAccumulator.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace OutputVectorCorrection {

  void PhaseAccumulator::reset() {
    _count = 0;
    _sumSin = 0.0;
    _sumCos = 0.0;
  }

  void PhaseAccumulator::add(double degrees) {
    const double radians = degrees * std::numbers::pi / 180.0;
    _sumSin += std::sin(radians);
    _sumCos += std::cos(radians);
    ++_count;
  }

  double PhaseAccumulator::mean() const {
    if(_count == 0) return std::numeric_limits<double>::quiet_NaN();
    const auto n = static_cast<double>(_count);
    return std::atan2(_sumSin / n, _sumCos / n) * 180.0 / std::numbers::pi;
  }

} // namespace OutputVectorCorrection
