#include "TableNumerics.h"

#include <sstream>

namespace TableNumerics {

  double wrapPhase(double degrees) {
    const double r = std::fmod(degrees, 360.0);
    if(r > 180.0) return r - 360.0;
    if(r < -180.0) return r + 360.0;
    return r;
  }

  std::optional<std::string> firstUnfitElement(std::span<const double> values, const std::string& name) {
    constexpr double largest = std::numeric_limits<float>::max();
    for(std::size_t i = 0; i < values.size(); ++i) {
      const double v = values[i];
      if(std::isfinite(v) && std::fabs(v) <= largest) continue;
      std::ostringstream text;
      text << name << "[" << i << "] is " << v;
      return text.str();
    }
    return std::nullopt;
  }

} // namespace TableNumerics
