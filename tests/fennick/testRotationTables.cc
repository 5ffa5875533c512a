// Rotation tables: S = scale * enabled cascade scales, A = angle + enabled cascade angles,
// cosine[k] + i sine[k] = S e^(iA) (cos(k step) + i sinSign sin(k step)), degrees: a positive
// angle turns a signal multiplied by the tables positively, whatever the sine sign; refusal of
// anything that could put a non-finite value into the tables.
#include "EdgeValues.h"

#include <llrf/RotationTables.h>

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <string>

namespace {

  using testvalues::nan;
  using testvalues::inf;

  constexpr double floatMax = std::numeric_limits<float>::max();

  llrf::RotationInputs inputs(double scale, double angle, std::uint32_t size = 1, double step = 0.0,
      double sinSign = -1.0, std::vector<llrf::RotationCascade> cascades = {}) {
    llrf::RotationInputs in;
    in.scale = scale;
    in.angle = angle;
    in.tableSize = size;
    in.phaseStep = step;
    in.sinSign = sinSign;
    in.cascades = std::move(cascades);
    return in;
  }

  struct ExactCase {
    const char* what;
    llrf::RotationInputs in;
    std::vector<float> cosine;
    std::vector<float> sine;
  };

  TEST(RotationTables, QuarterTurnsAreExact) {
    const ExactCase cases[] = {
        {"angle 0", inputs(1.0, 0.0), {1.0F}, {0.0F}},
        {"angle 90", inputs(1.0, 90.0), {0.0F}, {1.0F}},
        {"angle 180", inputs(1.0, 180.0), {-1.0F}, {0.0F}},
        {"angle -90", inputs(1.0, -90.0), {0.0F}, {-1.0F}},
        {"angle -90, sine sign +1", inputs(1.0, -90.0, 1, 0.0, 1.0), {0.0F}, {-1.0F}},
        {"scale 2.5 at 270", inputs(2.5, 270.0), {0.0F}, {-2.5F}},
        {"negative scale", inputs(-2.0, 0.0), {-2.0F}, {0.0F}},
        {"quarter-turn steps", inputs(1.0, 0.0, 5, 90.0, 1.0), {1, 0, -1, 0, 1}, {0, 1, 0, -1, 0}},
        {"quarter-turn steps, sine sign -1", inputs(1.0, 0.0, 5, 90.0, -1.0), {1, 0, -1, 0, 1}, {0, -1, 0, 1, 0}},
        {"angle 90 on steps, sine sign -1", inputs(1.0, 90.0, 4, 90.0, -1.0), {0, 1, 0, -1}, {1, 0, -1, 0}},
        {"angle 90 on steps, sine sign +1", inputs(1.0, 90.0, 4, 90.0, 1.0), {0, -1, 0, 1}, {1, 0, -1, 0}},
        {"steps from -180", inputs(3.0, -180.0, 3, -90.0, -1.0), {-3, 0, 3}, {0, -3, 0}},
        {"cascades: 0.5*4 and 45+45", inputs(0.5, 45.0, 1, 0.0, -1.0, {{4.0, 45.0, true}}), {0.0F}, {2.0F}},
        {"disabled cascade ignored", inputs(2.0, 0.0, 1, 0.0, -1.0, {{10.0, 90.0, false}}), {2.0F}, {0.0F}},
        {"empty table", inputs(1.0, 0.0, 0), {}, {}},
    };
    for(const auto& c : cases) {
      const auto result = llrf::computeRotationTables(c.in);
      ASSERT_TRUE(result.ok()) << c.what << ": " << result.error();
      EXPECT_EQ(result.value().cosine, c.cosine) << c.what;
      EXPECT_EQ(result.value().sine, c.sine) << c.what;
    }
  }

  /// The formula evaluated directly in radians with complex numbers, for comparison.
  void expectTables(const char* what, const llrf::RotationInputs& in, double scale, double angle) {
    const auto result = llrf::computeRotationTables(in);
    ASSERT_TRUE(result.ok()) << what << ": " << result.error();
    const llrf::RotationTables& t = result.value();
    EXPECT_DOUBLE_EQ(t.totalScale, scale) << what;
    EXPECT_DOUBLE_EQ(t.totalAngle, angle) << what;
    ASSERT_EQ(t.cosine.size(), in.tableSize) << what;
    ASSERT_EQ(t.sine.size(), in.tableSize) << what;
    const double tolerance = 1e-6 * std::max(1.0, std::fabs(scale));
    for(std::uint32_t k = 0; k < in.tableSize; ++k) {
      const double stepRad = k * in.phaseStep * std::numbers::pi / 180.0;
      const std::complex<double> kernel(std::cos(stepRad), in.sinSign * std::sin(stepRad));
      const std::complex<double> expected = std::polar(scale, angle * std::numbers::pi / 180.0) * kernel;
      EXPECT_NEAR(t.cosine[k], expected.real(), tolerance) << what << " k=" << k;
      EXPECT_NEAR(t.sine[k], expected.imag(), tolerance) << what << " k=" << k;
    }
  }

  TEST(RotationTables, GeneralAnglesAndPhaseSteps) {
    expectTables("30 degrees", inputs(2.5, 30.0, 1, 0.0, 1.0), 2.5, 30.0);
    expectTables("sine sign -1", inputs(0.8, -123.4, 1), 0.8, -123.4);
    expectTables("8 steps of 45 from 10", inputs(0.5, 10.0, 8, 45.0, -1.0), 0.5, 10.0);
    expectTables("1024 steps of 7.3", inputs(1.7, -33.0, 1024, 7.3, 1.0), 1.7, -33.0);
    expectTables("negative step", inputs(1.0, 200.0, 16, -12.5, -1.0), 1.0, 200.0);
    expectTables("angle beyond a turn", inputs(1.0, 725.0, 1), 1.0, 725.0);
    expectTables("sine sign 2 scales the kernel's sine", inputs(1.5, 25.0, 8, 30.0, 2.0), 1.5, 25.0);
    expectTables("sine sign 0", inputs(1.5, 25.0, 8, 30.0, 0.0), 1.5, 25.0);
  }

  TEST(RotationTables, WithAngleZeroTheTablesAreTheKernel) {
    // cos(k step) and sinSign sin(k step): the detection kernel itself, for any sine sign
    for(double sinSign : {-1.0, 1.0, 0.5}) {
      const llrf::RotationTables t = llrf::computeRotationTables(inputs(2.0, 0.0, 12, 30.0, sinSign)).value();
      for(std::uint32_t k = 0; k < 12; ++k) {
        const double rad = k * 30.0 * std::numbers::pi / 180.0;
        EXPECT_NEAR(t.cosine[k], 2.0 * std::cos(rad), 1e-6) << sinSign << " k=" << k;
        EXPECT_NEAR(t.sine[k], sinSign * 2.0 * std::sin(rad), 1e-6) << sinSign << " k=" << k;
      }
    }
  }

  /// Phase in degrees folded into (-180, 180] of the difference a - b.
  double phaseDifference(double a, double b) { return std::remainder(a - b, 360.0); }

  TEST(RotationTables, PositiveAngleTurnsAMultipliedSignalPositivelyWhateverTheSineSign) {
    // one element: the firmware multiplies a signal by cosine + i sine (the controller's output and
    // vector-sum calibrations on the simulated board)
    for(double sinSign : {-1.0, 1.0}) {
      for(double angle : {10.0, -35.0, 170.0, 0.0}) {
        const llrf::RotationTables t = llrf::computeRotationTables(inputs(0.5, angle, 1, 0.0, sinSign)).value();
        const std::complex<double> signal = std::polar(3.0, 20.0 * std::numbers::pi / 180.0);
        const std::complex<double> turned = signal * std::complex<double>(t.cosine[0], t.sine[0]);
        EXPECT_NEAR(std::abs(turned), 1.5, 1e-6) << sinSign << " " << angle;
        EXPECT_NEAR(phaseDifference(std::arg(turned) * 180.0 / std::numbers::pi, 20.0 + angle), 0.0, 1e-5)
            << sinSign << " " << angle;
      }
    }
  }

  TEST(RotationTables, PositiveAngleTurnsTheDetectedPhasePositivelyWhateverTheSineSign) {
    // many elements: the tables detect a sampled signal cos(phi - sinSign k step), i.e. a signal whose phase
    // advances against the kernel's sine sign; the detected phase is phi + angle
    constexpr std::uint32_t n = 16;
    constexpr double step = 45.0;
    for(double sinSign : {-1.0, 1.0}) {
      for(double angle : {0.0, 10.0, -35.0, 170.0}) {
        for(double phi : {0.0, 20.0, -100.0}) {
          const llrf::RotationTables t = llrf::computeRotationTables(inputs(1.0, angle, n, step, sinSign)).value();
          std::complex<double> detected;
          for(std::uint32_t k = 0; k < n; ++k) {
            const double x = std::cos((phi - sinSign * k * step) * std::numbers::pi / 180.0);
            detected += x * std::complex<double>(t.cosine[k], t.sine[k]);
          }
          const std::string what = std::to_string(sinSign) + " " + std::to_string(angle) + " " + std::to_string(phi);
          EXPECT_NEAR(std::abs(detected), n / 2.0, 1e-5) << what;
          EXPECT_NEAR(phaseDifference(std::arg(detected) * 180.0 / std::numbers::pi, phi + angle), 0.0, 1e-4) << what;
        }
      }
    }
  }

  TEST(RotationTables, EnabledCascadesMultiplyAndAdd) {
    const llrf::RotationCascade ovc{3.0, 20.0, true};
    const llrf::RotationCascade automation{0.5, 30.0, true};
    llrf::RotationCascade automationOff = automation;
    automationOff.enabled = false;
    llrf::RotationCascade ovcOff = ovc;
    ovcOff.enabled = false;

    expectTables("both enabled", inputs(2.0, 10.0, 1, 0.0, -1.0, {ovc, automation}), 3.0, 60.0);
    expectTables("first only", inputs(2.0, 10.0, 1, 0.0, -1.0, {ovc, automationOff}), 6.0, 30.0);
    expectTables("second only", inputs(2.0, 10.0, 1, 0.0, -1.0, {ovcOff, automation}), 1.0, 40.0);
    expectTables("none enabled", inputs(2.0, 10.0, 1, 0.0, -1.0, {ovcOff, automationOff}), 2.0, 10.0);
    expectTables("table of 64 with both", inputs(2.0, 10.0, 64, 5.625, 1.0, {ovc, automation}), 3.0, 60.0);
  }

  TEST(RotationTables, DisabledCascadeValuesAreNotChecked) {
    const llrf::RotationCascade broken{nan, inf, false};
    expectTables("NaN/inf while disabled", inputs(2.0, 10.0, 1, 0.0, -1.0, {broken, broken}), 2.0, 10.0);
  }

  struct RefusalCase {
    const char* what;
    llrf::RotationInputs in;
    const char* message; ///< a part of the expected message
  };

  TEST(RotationTables, NonFiniteOrOutOfFloatRangeIsRefused) {
    const RefusalCase cases[] = {
        {"scale NaN", inputs(nan, 0.0), "Rotation scale nan"},
        {"scale +inf", inputs(inf, 0.0), "Rotation scale inf"},
        {"scale -inf", inputs(-inf, 0.0), "Rotation scale -inf"},
        {"scale 1e39", inputs(1e39, 0.0), "Rotation scale 1e+39"},
        {"scale -1e39", inputs(-1e39, 0.0), "Rotation scale -1e+39"},
        {"angle NaN", inputs(1.0, nan), "Rotation angle nan"},
        {"angle -inf", inputs(1.0, -inf), "Rotation angle -inf"},
        {"angle 1e39", inputs(1.0, 1e39), "Rotation angle 1e+39"},
        {"phase step NaN", inputs(1.0, 0.0, 4, nan), "Rotation phase step nan"},
        {"sine sign inf", inputs(1.0, 0.0, 1, 0.0, inf), "Rotation sine sign inf"},
        {"cascade 1 scale NaN", inputs(1.0, 0.0, 1, 0.0, -1.0, {{nan, 0.0, true}}), "Cascade input 1 scale nan"},
        {"cascade 2 angle inf", inputs(1.0, 0.0, 1, 0.0, -1.0, {{1.0, 0.0, true}, {1.0, inf, true}}),
            "Cascade input 2 angle inf"},
        {"cascade scale 1e39", inputs(1.0, 0.0, 1, 0.0, -1.0, {{1e39, 0.0, true}}), "Cascade input 1 scale 1e+39"},
        {"product overflows float", inputs(1e20, 0.0, 1, 0.0, -1.0, {{1e20, 0.0, true}}),
            "Total rotation scale 1e+40"},
        {"sine sign pushes out of range", inputs(3e38, 0.0, 1, 0.0, 2.0), "Sine sign times total rotation scale"},
    };
    for(const auto& c : cases) {
      const auto result = llrf::computeRotationTables(c.in);
      ASSERT_FALSE(result.ok()) << c.what;
      EXPECT_NE(result.error().find(c.message), std::string::npos) << c.what << ": " << result.error();
      EXPECT_NE(result.error().find("is not a finite single-precision value"), std::string::npos) << c.what;
      EXPECT_EQ(llrf::checkRotationInputs(c.in), result.error()) << c.what;
      EXPECT_THROW((void)result.value(), std::bad_optional_access) << c.what;
    }
    EXPECT_EQ(llrf::checkRotationInputs(inputs(1.0, 0.0)), "");
  }

  TEST(RotationTables, LargestFloatScaleIsAccepted) {
    const llrf::RotationTables t =
        llrf::computeRotationTables(inputs(floatMax, 180.0, 1, 0.0, -1.0, {{1.0, 0.0, true}})).value();
    EXPECT_EQ(t.cosine, std::vector<float>{-std::numeric_limits<float>::max()});
    EXPECT_EQ(t.sine, std::vector<float>{0.0F});
  }

  TEST(RotationTables, TinyResultsBecomePositiveZero) {
    struct TinyCase {
      double scale;
      float cosine;
    };
    const TinyCase cases[] = {
        {1e-30, 1e-30F},  // normal float, kept
        {2e-38, 2e-38F},  // still above the smallest normal float (1.18e-38)
        {1e-38, 0.0F},    // just below it
        {1e-40, 0.0F},    // would be subnormal
        {-1e-42, 0.0F},   // negative subnormal
        {1e-300, 0.0F},   // below float altogether
        {-0.0, 0.0F},     // negative zero
    };
    for(const auto& c : cases) {
      const auto result = llrf::computeRotationTables(inputs(c.scale, 0.0));
      ASSERT_TRUE(result.ok()) << c.scale << ": " << result.error();
      const float element = result.value().cosine[0];
      EXPECT_EQ(element, c.cosine) << c.scale;
      EXPECT_FALSE(std::signbit(element)) << c.scale;
      EXPECT_FALSE(std::signbit(result.value().sine[0])) << c.scale;
    }
  }

  TEST(RotationTables, EveryElementIsZeroOrNormal) {
    for(double scale : {floatMax, -1e30, 3.0, 1e-37, 1e-39, -1e-44}) {
      for(double step : {0.0, 1e-6, 13.7, 90.0}) {
        const auto result = llrf::computeRotationTables(inputs(scale, -17.0, 64, step, -1.0));
        ASSERT_TRUE(result.ok()) << result.error();
        for(const auto& table : {result.value().cosine, result.value().sine}) {
          for(float x : table) {
            const bool zero = x == 0.0F && !std::signbit(x);
            ASSERT_TRUE(zero || std::isnormal(x)) << "scale " << scale << " step " << step << " element " << x;
          }
        }
      }
    }
  }

  struct PhaseRotationCase {
    double angle;
    double rotation;
    double result;
  };

  TEST(PhaseRotation, AddsAndFolds) {
    const PhaseRotationCase cases[] = {
        {10.0, 0.0, 10.0},
        {10.0, 5.5, 15.5},
        {170.0, 20.0, -170.0},
        {170.0, 200.0, 10.0},
        {-170.0, -20.0, 170.0},
        {0.0, -180.0, 180.0},
        {0.0, 540.0, 180.0},
        {-90.0, -450.0, 180.0},
        {0.25, 1e-300, 0.25},
        {1e-300, 0.0, 1e-300},
        {400.0, 0.0, 40.0}, // an angle set beyond a turn is folded with the first rotation
    };
    for(const auto& c : cases) {
      const auto result = llrf::applyPhaseRotation(c.angle, c.rotation);
      ASSERT_TRUE(result.ok()) << c.angle << " + " << c.rotation << ": " << result.error();
      EXPECT_EQ(result.value(), c.result) << c.angle << " + " << c.rotation;
    }
  }

  TEST(PhaseRotation, NonFiniteOrOutOfFloatRangeIsRefused) {
    const struct {
      double angle;
      double rotation;
      const char* message;
    } cases[] = {
        {10.0, nan, "Phase rotation nan"},
        {10.0, inf, "Phase rotation inf"},
        {10.0, -inf, "Phase rotation -inf"},
        {10.0, 1e39, "Phase rotation 1e+39"},
        {nan, 1.0, "Rotation angle nan"},
        {-1e39, 1.0, "Rotation angle -1e+39"},
    };
    for(const auto& c : cases) {
      const auto result = llrf::applyPhaseRotation(c.angle, c.rotation);
      ASSERT_FALSE(result.ok()) << c.message;
      EXPECT_NE(result.error().find(c.message), std::string::npos) << result.error();
    }
  }

} // namespace
