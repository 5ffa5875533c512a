// The controller DAQ channel's numerics without the framework: the scale with the vector-sum bit shift,
// amplitude and phase (every implementation), the flat-top kept inside the pulse and the flat-top statistics.
#include "ControllerChannelKernels.h"

#include <Corvane/Exception.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <vector>

using namespace ControllerChannelKernels;

TEST(ControllerChannelKernels, BitShiftDividesTheScaleByAPowerOfTwoForAnyShift) {
  for(std::uint32_t shift = 0; shift < 32; ++shift) {
    // the firmware's shift of a 32-bit 1, for the counts where it is defined
    EXPECT_EQ(scale(3.0, true, shift), 3.0 / static_cast<double>(std::uint32_t{1} << shift)) << shift;
  }
  EXPECT_EQ(scale(3.0, true, 32), 3.0 / 4294967296.0);
  EXPECT_EQ(scale(3.0, true, 255), std::ldexp(3.0, -255));
  EXPECT_EQ(scale(3.0, false, 40), 3.0);
  EXPECT_EQ(scale(1.0, true, 4000000000u), 0.0); // defined: beyond any double, not a shift out of range
}

TEST(ControllerChannelKernels, OnlyFinitePositiveScalesAreUsable) {
  struct Case {
    double scale;
    bool usable;
  };
  for(auto c : {Case{1.0, true}, Case{1e-300, true}, Case{0.0, false}, Case{-2.0, false},
          Case{std::numeric_limits<double>::infinity(), false}, Case{std::nan(""), false}}) {
    EXPECT_EQ(isUsableScale(c.scale), c.usable) << c.scale;
  }
  EXPECT_FALSE(isUsableScale(scale(1.0, true, 4000000000u))); // 1 / 2^2048 is 0
}

TEST(ControllerChannelKernels, AmplitudeAndPhaseOfThreeAndFour) {
  struct Case {
    double scale, threshold;
    float amplitude, phase;
  };
  const float atanPhase = std::atan2(4.F, 3.F) / 3.14159274F * 180.F;
  EXPECT_NEAR(atanPhase, 53.1301, 1e-4);
  for(auto c : {Case{1.0, 1.0, 5.F, atanPhase}, Case{1.0, 5.0, 5.F, 0.F}, Case{1.0, 4.999999, 5.F, atanPhase},
          Case{0.25, 1.0, 20.F, atanPhase}}) {
    SCOPED_TRACE(testing::Message() << "scale " << c.scale << " threshold " << c.threshold);
    std::vector<float> i(5, 3.F), q(5, 4.F), amplitude(5), phase(5);
    computeAmplitudePhase(i, q, c.scale, c.threshold, amplitude, phase);
    for(std::size_t k = 0; k < 5; ++k) {
      EXPECT_EQ(amplitude[k], c.amplitude);
      EXPECT_EQ(phase[k], c.phase);
    }
  }
}

TEST(ControllerChannelKernels, BothImplementationsAgreeToTheBitInAmplitudeAndCloselyInPhase) {
  if(!AdcChannelKernels::isAvailable(Implementation::avx2)) GTEST_SKIP() << "no AVX2 here";
  std::mt19937 random(3);
  std::normal_distribution<float> value(0.F, 3e4F);
  for(std::size_t n : {0u, 1u, 3u, 4u, 7u, 8u, 9u, 1001u}) {
    std::vector<float> i(n), q(n);
    for(std::size_t k = 0; k < n; ++k) {
      i[k] = value(random);
      q[k] = value(random);
    }
    std::vector<float> a1(n), p1(n), a2(n), p2(n);
    computeAmplitudePhase(Implementation::portable, i, q, 3.125, 100.0, a1, p1);
    computeAmplitudePhase(Implementation::avx2, i, q, 3.125, 100.0, a2, p2);
    EXPECT_EQ(a1, a2) << n;
    for(std::size_t k = 0; k < n; ++k) {
      // the same samples lie above the threshold, and there both phases are close to the exact one
      EXPECT_EQ(p1[k] == 0.F, p2[k] == 0.F) << n << " " << k;
      EXPECT_NEAR(p2[k], p1[k], 4e-5) << n << " " << k;
    }
    // avx512 and the best implementation run the AVX2 code: its phases to the bit, not the portable ones
    std::vector<Implementation> vectorised{AdcChannelKernels::bestImplementation()};
    if(AdcChannelKernels::isAvailable(Implementation::avx512)) vectorised.push_back(Implementation::avx512);
    for(auto implementation : vectorised) {
      std::vector<float> a3(n), p3(n);
      computeAmplitudePhase(implementation, i, q, 3.125, 100.0, a3, p3);
      EXPECT_EQ(a3, a2) << n;
      EXPECT_TRUE(std::equal(p3.begin(), p3.end(), p2.begin(), [](float a, float b) {
        return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
      })) << n;
    }
  }
}

namespace {

  struct ControllerPhaseCase {
    const char* what;
    float i, q;
    double threshold;
    float expected;
    double tolerance; ///< 0: the expected float to the bit, sign of zero included; else the largest difference
  };

  constexpr float infiniteIQ = std::numeric_limits<float>::infinity();
  constexpr float nanIQ = std::numeric_limits<float>::quiet_NaN();

  /// The phase of one sample on its own (the padded last block) and inside a trace of 17 copies (full blocks
  /// and a tail), with either implementation: all the same to the bit, and the expected value (the portable
  /// results alone where there is no AVX2).
  void checkControllerPhaseCase(const ControllerPhaseCase& c) {
    SCOPED_TRACE(testing::Message() << c.what << ": I " << c.i << " Q " << c.q << " threshold " << c.threshold);
    std::vector<float> results;
    for(std::size_t n : {1u, 17u}) {
      for(auto implementation : {Implementation::portable, Implementation::avx2, Implementation::avx512}) {
        if(!AdcChannelKernels::isAvailable(implementation)) continue;
        std::vector<float> i(n, c.i), q(n, c.q), amplitude(n), phase(n);
        computeAmplitudePhase(implementation, i, q, 1.0, c.threshold, amplitude, phase);
        results.insert(results.end(), phase.begin(), phase.end());
      }
    }
    for(float phase : results) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(phase), std::bit_cast<std::uint32_t>(results.front()))
          << phase << " vs " << results.front();
    }
    if(c.tolerance == 0.0) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(results.front()), std::bit_cast<std::uint32_t>(c.expected))
          << results.front() << " vs " << c.expected;
    } else {
      EXPECT_NEAR(results.front(), c.expected, c.tolerance);
    }
  }

} // namespace

TEST(ControllerChannelKernels, PhaseSpecialCasesAreTheSameOnBothPaths) {
  // threshold -1 lets every finite or infinite amplitude through, even 0; threshold 0 holds back amplitude 0
  for(const auto& c : std::vector<ControllerPhaseCase>{
          {"zero, held back", 0.F, 0.F, 0.0, 0.F, 0},
          {"+0 +0", 0.F, 0.F, -1.0, 0.F, 0},
          {"-0 for I", -0.F, 0.F, -1.0, 180.F, 0},
          {"-0 for Q", 0.F, -0.F, -1.0, -0.F, 0},
          {"-0 for both", -0.F, -0.F, -1.0, -180.F, 0},
          {"-0 for I held back", -0.F, -0.F, 0.0, 0.F, 0},
          {"on the positive Q axis", 0.F, 2.F, -1.0, 90.F, 0},
          {"on the positive Q axis, I -0", -0.F, 2.F, -1.0, 90.F, 0},
          {"on the negative Q axis", 0.F, -2.F, -1.0, -90.F, 0},
          {"on the negative I axis, Q +0", -2.F, 0.F, -1.0, 180.F, 0},
          {"on the negative I axis, Q -0", -2.F, -0.F, -1.0, -180.F, 0},
          {"on the positive I axis, Q -0", 2.F, -0.F, -1.0, -0.F, 0},
          {"amplitude 5 at the threshold", 3.F, 4.F, 5.0, 0.F, 0},
          {"NaN in I", nanIQ, 1.F, -1.0, 0.F, 0},
          {"NaN in Q", 1.F, nanIQ, -1.0, 0.F, 0},
          {"NaN in both", nanIQ, nanIQ, -1e30, 0.F, 0},
          {"NaN in I, infinite Q", nanIQ, infiniteIQ, -1.0, 0.F, 0},
          {"NaN threshold", 3.F, 4.F, std::nan(""), 0.F, 0},
          {"infinite Q", 1.F, infiniteIQ, -1.0, 90.F, 0},
          {"infinite Q, negative I", -1.F, infiniteIQ, -1.0, 90.F, 0},
          {"negative infinite Q", 1.F, -infiniteIQ, -1.0, -90.F, 0},
          {"infinite I", infiniteIQ, 1.F, -1.0, 0.F, 0},
          {"infinite I, negative Q", infiniteIQ, -1.F, -1.0, -0.F, 0},
          {"negative infinite I", -infiniteIQ, 1.F, -1.0, 180.F, 0},
          {"negative infinite I, negative Q", -infiniteIQ, -1.F, -1.0, -180.F, 0},
          {"both infinite", infiniteIQ, infiniteIQ, -1.0, 45.F, 0},
          {"both infinite, Q negative", infiniteIQ, -infiniteIQ, -1.0, -45.F, 0},
          {"both infinite, I negative", -infiniteIQ, infiniteIQ, -1.0, 135.F, 1e-5},
          {"both negative infinite", -infiniteIQ, -infiniteIQ, -1.0, -135.F, 1e-5},
          {"infinite amplitude at an infinite threshold", infiniteIQ, infiniteIQ, 1e300, 0.F, 0},
      }) {
    checkControllerPhaseCase(c);
  }
}

TEST(ControllerChannelKernels, VectorPhaseIsWithinTwoHundredThousandthsOfADegree) {
  if(!AdcChannelKernels::isAvailable(Implementation::avx2)) GTEST_SKIP() << "no AVX2 here";
  // every angle on a fine grid (the axes and diagonals among them) at magnitudes from the smallest
  // subnormal floats to near the largest float, and pairs of independent random exponents
  std::vector<float> i, q;
  constexpr int angles = 1 << 16;
  for(double magnitude : {1e-44, 1e-40, 1e-30, 1e-3, 1.0, 3e4, 1e20, 1e37, 3e38}) {
    for(int k = 0; k < angles; ++k) {
      const double angle = (static_cast<double>(k) / angles - 0.5) * 2.0 * std::numbers::pi;
      i.push_back(static_cast<float>(magnitude * std::cos(angle)));
      q.push_back(static_cast<float>(magnitude * std::sin(angle)));
    }
  }
  std::mt19937 random(11);
  std::uniform_real_distribution<float> mantissa(-2.F, 2.F);
  std::uniform_int_distribution<int> exponent(-140, 126);
  for(int k = 0; k < 200000; ++k) {
    i.push_back(std::ldexp(mantissa(random), exponent(random)));
    q.push_back(std::ldexp(mantissa(random), exponent(random)));
  }
  // and ratios near 1, where the polynomial is evaluated at its far end
  for(int k = 0; k < 20000; ++k) {
    const float a = std::ldexp(1.F + static_cast<float>(k) / 20000.F, k % 64 - 32);
    i.push_back(k % 2 == 0 ? a : -a);
    q.push_back(std::nextafter(a, k % 3 == 0 ? 0.F : 1e30F) * (k % 4 < 2 ? 1.F : -1.F));
  }

  const std::size_t n = i.size();
  std::vector<float> amplitude(n), phase(n);
  computeAmplitudePhase(Implementation::avx2, i, q, 1.0, -1.0, amplitude, phase);
  double worst = 0.0;
  std::size_t worstIndex = 0;
  for(std::size_t k = 0; k < n; ++k) {
    const double exact = std::atan2(static_cast<double>(q[k]), static_cast<double>(i[k])) * 180.0 / std::numbers::pi;
    const double error = std::fabs(static_cast<double>(phase[k]) - exact);
    if(!(error <= worst)) {
      worst = error;
      worstIndex = k;
    }
  }
  EXPECT_LE(worst, 2e-5) << "I " << i[worstIndex] << " Q " << q[worstIndex] << " phase " << phase[worstIndex];
  RecordProperty("largestPhaseError", testing::PrintToString(worst));
}

TEST(ControllerChannelKernels, TracesOfDifferentLengthsAreRefused) {
  std::vector<float> i(4), q(3), amplitude(4), phase(4);
  EXPECT_THROW(computeAmplitudePhase(i, q, 1.0, 0.0, amplitude, phase), Corvane::logic_error);
}

TEST(ControllerChannelKernels, FlattopIsKeptInsideThePulse) {
  struct Case {
    std::uint32_t begin, end;
    std::size_t length;
    std::optional<Flattop> expected;
  };
  const std::uint32_t huge = std::numeric_limits<std::uint32_t>::max();
  for(auto c : {Case{2, 5, 8, Flattop{2, 5, false}}, Case{3, 3, 8, Flattop{3, 3, false}},
          Case{6, 100, 8, Flattop{6, 7, true}}, Case{100, huge, 8, Flattop{7, 7, true}},
          Case{5, 2, 8, std::nullopt}, Case{3, 2, 8, std::nullopt}, Case{9, 2, 8, std::nullopt},
          Case{0, 0, 0, std::nullopt}}) {
    SCOPED_TRACE(testing::Message() << c.begin << " to " << c.end << " in " << c.length);
    const auto range = flattop(c.begin, c.end, c.length);
    ASSERT_EQ(range.has_value(), c.expected.has_value());
    if(!range) continue;
    EXPECT_EQ(range->begin, c.expected->begin);
    EXPECT_EQ(range->end, c.expected->end);
    EXPECT_EQ(range->clamped, c.expected->clamped);
  }
}

TEST(ControllerChannelKernels, StatisticsOverTheFlattopOnly) {
  // outside the flat-top values that would spoil every average
  const std::vector<float> i{100, 1, 2, 3, 100}, q{-100, 4, 4, 4, -100};
  const std::vector<float> amplitude{9, 1, 2, 6, 9}, phase{-9, 10, 20, 60, 9};
  const auto result = computeStatistics(i, q, amplitude, phase, Flattop{1, 3, false});
  EXPECT_EQ(result.iAverage, 2.F);
  EXPECT_EQ(result.qAverage, 4.F);
  EXPECT_EQ(result.amplitudeAverage, 3.F);
  EXPECT_EQ(result.phaseAverage, 30.F);
  EXPECT_FLOAT_EQ(result.amplitudeStandardDeviation, std::sqrt(7.F)); // (4 + 1 + 9) / 2
  EXPECT_FLOAT_EQ(result.phaseStandardDeviation, std::sqrt(700.F));   // (400 + 100 + 900) / 2

  const auto withoutAmplitude = computeStatistics(i, q, {}, {}, Flattop{1, 3, false});
  EXPECT_EQ(withoutAmplitude.iAverage, 2.F);
  EXPECT_EQ(withoutAmplitude.amplitudeAverage, 0.F);

  // one sample: its value, and no deviation to speak of
  const auto single = computeStatistics(i, q, amplitude, phase, Flattop{2, 2, false});
  EXPECT_EQ(single.amplitudeAverage, 2.F);
  EXPECT_TRUE(std::isnan(single.amplitudeStandardDeviation));

  EXPECT_THROW(computeStatistics(i, q, amplitude, phase, Flattop{3, 5, false}), Corvane::logic_error);
  EXPECT_THROW(computeStatistics(i, q, amplitude, phase, Flattop{3, 2, false}), Corvane::logic_error);
}
