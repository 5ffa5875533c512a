// The computation behind a rotation/scaling module (llrf::RotationParameter): from a scale, an
// angle and the enabled cascaded scale/angle pairs to the cosine (real) and sine (imaginary)
// tables that go to the firmware.
//
//   total scale  S = scale * product of the enabled cascade scales
//   total angle  A = angle + sum of the enabled cascade angles                (degrees)
//   cosine[k] + i sine[k] = S e^(iA) (cos(k phaseStep) + i sinSign sin(k phaseStep))
//
// Sign convention: the tables are the complex factor cosine + i sine by which the firmware
// multiplies a signal (as the simulated controller board does with its output and vector-sum
// rotations), and a positive angle turns that signal, and so the measured phase, positively,
// whatever sinSign. sinSign only sets the direction of the table's own phase progression
// (k phaseStep, the detection kernel of an ADC channel): with sinSign +-1 the tables are
// S e^(i(A +- k phaseStep)). With an angle of 0 they are S cos(k phaseStep) and
// sinSign S sin(k phaseStep).
//
// The tables go to a running feedback loop, so nothing non-finite may come out: every input
// that takes part (scale, angle, phase step, sine sign, enabled cascade values, a rotation
// command) must be finite and within single-precision range, and so must S and sinSign * S
// (each element's magnitude is at most max(1, |sinSign|) |S|). Otherwise the computation is
// refused with a message and the module keeps its last valid inputs and tables. Disabled
// cascade inputs take no part and are not checked.
#pragma once

#include "llrf/Checked.h"

#include <cstdint>
#include <string>
#include <vector>

namespace llrf {

  /// One cascaded scale/angle pair. The module sets `enabled` from its int32 "enable" (non-zero).
  struct RotationCascade {
    double scale{1.0};
    double angle{0.0}; ///< degrees
    bool enabled{false};
  };

  struct RotationInputs {
    double scale{1.0};
    double angle{0.0}; ///< degrees
    std::vector<RotationCascade> cascades; ///< the cascade inputs that exist, in order (0..2)
    std::uint32_t tableSize{1};
    double phaseStep{0.0}; ///< degrees from one table element to the next
    double sinSign{-1.0};
  };

  struct RotationTables {
    std::vector<float> cosine; ///< real part, tableSize elements
    std::vector<float> sine;   ///< imaginary part, tableSize elements
    double totalScale{0.0};
    double totalAngle{0.0}; ///< degrees, not folded
  };

  /// Computes both tables. Every element is finite, and either zero (+0) or a normal float: a
  /// result below the smallest normal float is stored as 0.
  Checked<RotationTables> computeRotationTables(const RotationInputs& inputs);

  /// The reason computeRotationTables() would refuse these inputs, or an empty string.
  std::string checkRotationInputs(const RotationInputs& inputs);

  /// The angle after a "performPhaseRotation" command: angle + rotation, folded into
  /// (-180, 180] (canonicalPhaseDefinition). Refused when the rotation or the angle is not a
  /// finite single-precision value.
  Checked<double> applyPhaseRotation(double angle, double rotation);

} // namespace llrf
