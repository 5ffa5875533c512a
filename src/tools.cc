#include "tools.h"

#include <boost/date_time/posix_time/posix_time.hpp>

#include <cmath>
#include <limits>

namespace tools {

  double canonicalPhaseDefinition(double degrees) {
    double r = std::fmod(degrees, 360.0);
    if(r > 180.0) return r - 360.0;
    if(r <= -180.0) return r + 360.0;
    return r;
  }

  float countToDeg(std::int32_t count) {
    // both factors are exact in single precision; 3.814697265625e-06f is 2^-18
    return static_cast<float>(count) * 360.0f * 3.814697265625e-06f;
  }

  bool correctFloat(float value) {
    if(value == 0.0f) return true;
    float magnitude = std::fabs(value);
    return magnitude >= std::numeric_limits<float>::min() && magnitude <= std::numeric_limits<float>::max();
  }

  std::string getTime() {
    // microsec_clock reads gettimeofday and converts with localtime_r
    auto now = boost::posix_time::microsec_clock::local_time();
    return "[" + boost::posix_time::to_simple_string(now) + "] ";
  }

} // namespace tools
