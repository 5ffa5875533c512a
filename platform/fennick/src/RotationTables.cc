#include "llrf/RotationTables.h"

#include "llrf/Phase.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace llrf {

  namespace {

    constexpr double floatMax = std::numeric_limits<float>::max();
    constexpr float floatMinNormal = std::numeric_limits<float>::min();

    bool inFloatRange(double x) { return std::isfinite(x) && std::fabs(x) <= floatMax; }

    std::string format(double x) {
      char buf[32];
      auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x);
      return ec == std::errc{} ? std::string(buf, end) : std::string("?");
    }

    std::string notUsable(const std::string& what, double x) {
      return what + " " + format(x) + " is not a finite single-precision value";
    }

    /// Rounds to float; results too small for a normal float, and negative zero, become +0.
    float toTableElement(double x) {
      const float f = static_cast<float>(x);
      if(std::fabs(f) < floatMinNormal) return 0.0F;
      return f;
    }

  } // namespace

  std::string checkRotationInputs(const RotationInputs& in) {
    if(!inFloatRange(in.phaseStep)) return notUsable("Rotation phase step", in.phaseStep);
    if(!inFloatRange(in.sinSign)) return notUsable("Rotation sine sign", in.sinSign);
    if(!inFloatRange(in.scale)) return notUsable("Rotation scale", in.scale);
    if(!inFloatRange(in.angle)) return notUsable("Rotation angle", in.angle);

    double totalScale = in.scale;
    for(std::size_t i = 0; i < in.cascades.size(); ++i) {
      const RotationCascade& c = in.cascades[i];
      if(!c.enabled) continue;
      const std::string name = "Cascade input " + std::to_string(i + 1);
      if(!inFloatRange(c.scale)) return notUsable(name + " scale", c.scale);
      if(!inFloatRange(c.angle)) return notUsable(name + " angle", c.angle);
      totalScale *= c.scale; // at most three factors of <= FLT_MAX: no double overflow
    }
    if(!inFloatRange(totalScale)) return notUsable("Total rotation scale", totalScale);
    if(!inFloatRange(in.sinSign * totalScale)) {
      return notUsable("Sine sign times total rotation scale", in.sinSign * totalScale);
    }
    return {};
  }

  Checked<RotationTables> computeRotationTables(const RotationInputs& in) {
    if(std::string why = checkRotationInputs(in); !why.empty()) {
      return Checked<RotationTables>::refused(std::move(why));
    }

    RotationTables out;
    out.totalScale = in.scale;
    out.totalAngle = in.angle;
    for(const RotationCascade& c : in.cascades) {
      if(!c.enabled) continue;
      out.totalScale *= c.scale;
      out.totalAngle += c.angle;
    }

    // S e^(iA) times the kernel cos(k step) + i sinSign sin(k step). Elements stay within
    // max(1, |sinSign|) |S|, and both |S| and |sinSign S| are checked to fit a float.
    out.cosine.resize(in.tableSize);
    out.sine.resize(in.tableSize);
    const SinCos rotation = sinCosDegrees(out.totalAngle);
    const double re = out.totalScale * rotation.cos;
    const double im = out.totalScale * rotation.sin;
    for(std::uint32_t k = 0; k < in.tableSize; ++k) {
      const SinCos step = sinCosDegrees(static_cast<double>(k) * in.phaseStep);
      const double kernelIm = in.sinSign * step.sin;
      out.cosine[k] = toTableElement(re * step.cos - im * kernelIm);
      out.sine[k] = toTableElement(im * step.cos + re * kernelIm);
    }
    return Checked<RotationTables>::valid(std::move(out));
  }

  Checked<double> applyPhaseRotation(double angle, double rotation) {
    if(!inFloatRange(rotation)) return Checked<double>::refused(notUsable("Phase rotation", rotation));
    if(!inFloatRange(angle)) return Checked<double>::refused(notUsable("Rotation angle", angle));
    return Checked<double>::valid(canonicalPhaseDefinition(angle + rotation));
  }

} // namespace llrf
