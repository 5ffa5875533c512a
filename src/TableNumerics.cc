#include "TableNumerics.h"

#include <sstream>

namespace TableNumerics {

  double wrapPhase(double degrees) {
    const double r = std::fmod(degrees, 360.0);
    if(r > 180.0) return r - 360.0;
    if(r < -180.0) return r + 360.0;
    return r;
  }

  std::optional<std::size_t> firstUnfitIndex(std::span<const double> values) {
    constexpr double largest = std::numeric_limits<float>::max();
    for(std::size_t i = 0; i < values.size(); ++i) {
      if(!std::isfinite(values[i]) || std::fabs(values[i]) > largest) return i;
    }
    return std::nullopt;
  }

  std::optional<std::string> firstUnfitElement(std::span<const double> values, const std::string& name) {
    const auto unfit = firstUnfitIndex(values);
    if(!unfit) return std::nullopt;
    std::ostringstream text;
    text << name << "[" << *unfit << "] is " << values[*unfit];
    return text.str();
  }

} // namespace TableNumerics
