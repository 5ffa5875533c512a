// Filter coefficient design: the worked examples, the frequency response of every design evaluated here
// with complex arithmetic, the fixed sets, and the refusal of requests that give no sound filter.
#include "FilterDesign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

using FilterDesign::Coefficients;

namespace {

  /// |H(e^{j 2 pi f / fs})| for H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a0 z^-1 + a1 z^-2).
  double gainAt(const Coefficients& c, double frequency, double samplingFrequency) {
    const std::complex<double> zInverse = std::polar(1.0, -2.0 * std::numbers::pi * frequency / samplingFrequency);
    const auto numerator = c[2] + c[3] * zInverse + c[4] * zInverse * zInverse;
    const auto denominator = 1.0 + c[0] * zInverse + c[1] * zInverse * zInverse;
    return std::abs(numerator / denominator);
  }

  /// Both poles inside the unit circle (the stability triangle of a second-order denominator).
  bool isStable(const Coefficients& c) {
    return std::abs(c[1]) < 1.0 && std::abs(c[0]) < 1.0 + c[1];
  }

  constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
  constexpr double infiniteFrequency = std::numeric_limits<double>::infinity();

} // namespace

TEST(FilterDesign, WorkedExampleLowPass) {
  // fs = 1000 kHz and f = 250 kHz give K = 1.
  const auto design = FilterDesign::design(2, 250.0, 0.0, 1000.0);
  ASSERT_TRUE(design.coefficients) << design.refusal;
  const auto& c = *design.coefficients;
  const double root2 = std::sqrt(2.0);
  EXPECT_NEAR(c[0], 0.0, 1e-15);
  EXPECT_NEAR(c[1], (2.0 - root2) / (2.0 + root2), 1e-15);
  EXPECT_NEAR(c[1], 0.171573, 1e-6);
  EXPECT_NEAR(c[2], 0.292893, 1e-6);
  EXPECT_NEAR(c[3], 0.585786, 1e-6);
  EXPECT_EQ(c[4], c[2]);
  EXPECT_EQ(c[3], 2.0 * c[2]);
}

TEST(FilterDesign, WorkedExampleNotch) {
  // Bandwidth 25 kHz: Q = 5, N = 11.
  const auto design = FilterDesign::design(1, 250.0, 25.0, 1000.0);
  ASSERT_TRUE(design.coefficients) << design.refusal;
  const auto& c = *design.coefficients;
  EXPECT_NEAR(c[0], 0.0, 1e-15);
  EXPECT_NEAR(c[1], 9.0 / 11.0, 1e-15);
  EXPECT_NEAR(c[2], 10.0 / 11.0, 1e-15);
  EXPECT_EQ(c[3], c[0]);
  EXPECT_EQ(c[4], c[2]);
}

TEST(FilterDesign, LowPassResponse) {
  // Butterworth: unit gain at DC, 1/sqrt(2) at the (pre-warped) corner, a double zero at Nyquist.
  struct Case {
    double frequency, samplingFrequency;
  };
  for(auto [f, fs] : {Case{1.0, 1000.0}, {30.0, 1000.0}, {250.0, 1000.0}, {499.0, 1000.0}, {0.5, 9.0}, {3.0, 9.0},
          {100.0, 9027.775}}) {
    SCOPED_TRACE(std::to_string(f) + " kHz at " + std::to_string(fs) + " kHz");
    const auto design = FilterDesign::design(2, f, 0.0, fs);
    ASSERT_TRUE(design.coefficients) << design.refusal;
    const auto& c = *design.coefficients;
    EXPECT_NEAR(gainAt(c, 0.0, fs), 1.0, 1e-9);
    EXPECT_NEAR(gainAt(c, f, fs), 1.0 / std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(gainAt(c, fs / 2.0, fs), 0.0, 1e-9);
    EXPECT_LT(gainAt(c, (f + fs / 2.0) / 2.0, fs), 1.0 / std::sqrt(2.0)); // between corner and Nyquist
    EXPECT_EQ(c[3], 2.0 * c[2]);
    EXPECT_EQ(c[4], c[2]);
    EXPECT_TRUE(isStable(c));
  }
}

TEST(FilterDesign, NotchResponse) {
  // Unit gain at DC and at Nyquist, a zero at the centre frequency, near-unit gain well outside the band.
  struct Case {
    double frequency, bandwidth, samplingFrequency;
  };
  for(auto [f, bw, fs] : {Case{250.0, 25.0, 1000.0}, {50.0, 5.0, 1000.0}, {1.0, 0.2, 9.0}, {400.0, 200.0, 1000.0},
          {10.0, 100.0, 1000.0}}) {
    SCOPED_TRACE(std::to_string(f) + " kHz, bandwidth " + std::to_string(bw) + " kHz at " + std::to_string(fs));
    const auto design = FilterDesign::design(1, f, bw, fs);
    ASSERT_TRUE(design.coefficients) << design.refusal;
    const auto& c = *design.coefficients;
    EXPECT_NEAR(gainAt(c, 0.0, fs), 1.0, 1e-9);
    EXPECT_NEAR((2.0 * c[2] + c[3]) / (1.0 + c[0] + c[1]), 1.0, 1e-12);
    EXPECT_NEAR(gainAt(c, fs / 2.0, fs), 1.0, 1e-9);
    EXPECT_NEAR(gainAt(c, f, fs), 0.0, 1e-9);
    EXPECT_EQ(c[3], c[0]);
    EXPECT_EQ(c[4], c[2]);
    EXPECT_TRUE(isStable(c));
  }
  // A narrow notch leaves its neighbourhood alone: ten bandwidths away the gain is within 1 %.
  const auto narrow = FilterDesign::design(1, 100.0, 2.0, 1000.0);
  ASSERT_TRUE(narrow.coefficients);
  EXPECT_NEAR(gainAt(*narrow.coefficients, 80.0, 1000.0), 1.0, 0.01);
  EXPECT_NEAR(gainAt(*narrow.coefficients, 120.0, 1000.0), 1.0, 0.01);
}

TEST(FilterDesign, FixedSetsIgnoreFrequencyAndBandwidth) {
  struct Case {
    int32_t type;
    Coefficients expected;
  };
  for(auto [type, expected] : {Case{0, {0, 0, 1, 0, 0}}, {3, {0, 0, 0, 0, 0}}, {4, {0, 0, 0, 0, 0}},
          {-1, {0, 0, 0, 0, 0}}, {std::numeric_limits<int32_t>::min(), {0, 0, 0, 0, 0}}}) {
    for(auto [f, bw] : {std::pair{250.0, 25.0}, {0.0, 0.0}, {notANumber, notANumber}, {-5.0, infiniteFrequency}}) {
      const auto design = FilterDesign::design(type, f, bw, 1000.0);
      ASSERT_TRUE(design.coefficients) << "type " << type << ": " << design.refusal;
      EXPECT_EQ(*design.coefficients, expected) << "type " << type;
    }
  }
}

TEST(FilterDesign, UnsoundRequestsAreRefused) {
  struct Case {
    const char* what;
    int32_t type;
    double frequency, bandwidth, samplingFrequency;
    const char* named; ///< the refusal names the offending input
  };
  const Case cases[] = {
      {"notch at 0 Hz", 1, 0.0, 25.0, 1000.0, "frequency"},
      {"notch at a negative frequency", 1, -10.0, 25.0, 1000.0, "frequency"},
      {"notch at half the sampling rate", 1, 500.0, 25.0, 1000.0, "frequency"},
      {"notch above half the sampling rate", 1, 600.0, 25.0, 1000.0, "frequency"},
      {"notch at NaN", 1, notANumber, 25.0, 1000.0, "frequency"},
      {"notch at infinity", 1, infiniteFrequency, 25.0, 1000.0, "frequency"},
      {"notch of zero bandwidth", 1, 250.0, 0.0, 1000.0, "bandwidth"},
      {"notch of negative bandwidth", 1, 250.0, -1.0, 1000.0, "bandwidth"},
      {"notch of NaN bandwidth", 1, 250.0, notANumber, 1000.0, "bandwidth"},
      {"notch of infinite bandwidth", 1, 250.0, infiniteFrequency, 1000.0, "bandwidth"},
      {"notch so narrow that the arithmetic overflows", 1, 250.0, 1e-320, 1000.0, "not finite"},
      {"low-pass at 0 Hz", 2, 0.0, 25.0, 1000.0, "frequency"},
      {"low-pass at half the sampling rate", 2, 500.0, 25.0, 1000.0, "frequency"},
      {"low-pass at NaN", 2, notANumber, 25.0, 1000.0, "frequency"},
      {"low-pass with no sampling rate", 2, 250.0, 25.0, 0.0, "sampling frequency"},
  };
  for(const auto& c : cases) {
    const auto design = FilterDesign::design(c.type, c.frequency, c.bandwidth, c.samplingFrequency);
    EXPECT_FALSE(design.coefficients) << c.what;
    EXPECT_NE(design.refusal.find(c.named), std::string::npos) << c.what << ": " << design.refusal;
  }
}

TEST(FilterDesign, OnlyTheInputsATypeUsesAreChecked) {
  // The low-pass ignores the bandwidth; a notch just below half the sampling rate is still a notch.
  EXPECT_TRUE(FilterDesign::design(2, 250.0, 0.0, 1000.0).coefficients);
  EXPECT_TRUE(FilterDesign::design(2, 250.0, notANumber, 1000.0).coefficients);
  EXPECT_TRUE(FilterDesign::design(1, 499.9, 1.0, 1000.0).coefficients);
}
