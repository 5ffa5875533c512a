// The ADC channel's per-pulse arithmetic against values worked out here: amplitude and phase scaling, the
// zero-phase threshold, power and its peaks around the flat-top start, the statistics with their float
// accumulation, and agreement of every available implementation to the bit.
#include "AdcChannelKernels.h"

#include <Corvane/Exception.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace AdcChannelKernels;

namespace {

  /// Every implementation this processor runs, the fastest last.
  std::vector<Implementation> availableImplementations() {
    std::vector<Implementation> result;
    for(auto implementation : {Implementation::portable, Implementation::avx2, Implementation::avx512}) {
      if(isAvailable(implementation)) result.push_back(implementation);
    }
    return result;
  }

  bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
  }

  struct Pulse {
    explicit Pulse(std::size_t n) : rawAmplitude(n), rawPhase(n), amplitude(n), phase(n), power(n) {}
    std::vector<int32_t> rawAmplitude, rawPhase;
    std::vector<float> amplitude, phase, power;
    std::optional<PeakPowers> compute(Implementation implementation, const SignalParameters& parameters) {
      return computeSignals(implementation, rawAmplitude, rawPhase, parameters, amplitude, phase, power, false).peaks;
    }
  };

  constexpr float infinity = std::numeric_limits<float>::infinity();

  struct ScalingCase {
    const char* what;
    int32_t rawAmplitude;
    int32_t rawPhase;
    double bitScaling;
    double threshold;
    float amplitude;
    float phase;
  };

  // Phase: 2^18 counts are 360 degrees, no folding into a range of angles.
  const ScalingCase scalingCases[] = {
      {"quarter turn", 1000, 65536, 4.0, 0.0, 250.F, 90.F},
      {"negative half turn", 1000, -131072, 4.0, 0.0, 250.F, -180.F},
      {"three turns are not folded", 1000, 786432, 4.0, 0.0, 250.F, 1080.F},
      {"one count", 1000, 1, 4.0, 0.0, 250.F, 0.001373291015625F},
      {"scaled amplitude equal to the threshold", 500, 65536, 2.0, 250.0, 250.F, 0.F},
      {"scaled amplitude just above the threshold", 501, 65536, 2.0, 250.0, 250.5F, 90.F},
      {"zero amplitude with a negative threshold", 0, 65536, 1.0, -1.0, 0.F, 90.F},
      {"zero amplitude with threshold 0", 0, 65536, 1.0, 0.0, 0.F, 0.F},
      {"negative amplitude", -32768, 100, 1.0, 0.0, -32768.F, 0.F},
      {"3 / 0.1 is 30.000000000000004 in double", 3, 0, 0.1, 100.0, 30.F, 0.F},
      {"zero bit scaling gives an infinite amplitude", 5, 65536, 0.0, 0.0, infinity, 90.F},
  };

} // namespace

TEST(AdcChannelKernels, AmplitudeAndPhaseCases) {
  // Each case sits at every position of an 11-sample pulse, so the vector body and the tail both see it.
  constexpr std::size_t n = 11;
  for(auto implementation : availableImplementations()) {
    for(const auto& c : scalingCases) {
      for(std::size_t at = 0; at < n; ++at) {
        SCOPED_TRACE(std::string(nameOf(implementation)) + ": " + c.what + ", sample " + std::to_string(at));
        Pulse pulse(n);
        pulse.rawAmplitude[at] = c.rawAmplitude;
        pulse.rawPhase[at] = c.rawPhase;
        SignalParameters parameters{c.bitScaling, c.threshold, std::nullopt, 0};
        EXPECT_FALSE(pulse.compute(implementation, parameters));
        EXPECT_EQ(pulse.amplitude[at], c.amplitude);
        EXPECT_EQ(pulse.phase[at], c.phase);
      }
    }
  }
}

TEST(AdcChannelKernels, ZeroOverZeroAmplitudeIsNotANumberWithPhaseZero) {
  for(auto implementation : availableImplementations()) {
    Pulse pulse(5);
    pulse.rawPhase.assign(5, 65536);
    pulse.compute(implementation, {0.0, -1.0, std::nullopt, 0});
    for(std::size_t i = 0; i < 5; ++i) {
      EXPECT_TRUE(std::isnan(pulse.amplitude[i])) << nameOf(implementation);
      EXPECT_EQ(pulse.phase[i], 0.F) << nameOf(implementation);
    }
  }
}

TEST(AdcChannelKernels, RandomPulsesAreCorrectlyScaledAndEqualOnEveryPath) {
  std::mt19937 random(42);
  for(std::size_t n : {std::size_t{16384}, std::size_t{16387}, std::size_t{3}}) {
    for(bool fullRange : {false, true}) {
      SCOPED_TRACE("n = " + std::to_string(n) + (fullRange ? ", full int32 range" : ", 16-bit range"));
      Pulse reference(n);
      std::uniform_int_distribution<int32_t> full(std::numeric_limits<int32_t>::min());
      std::uniform_int_distribution<int32_t> sixteenBit(-32768, 32767);
      std::uniform_int_distribution<int32_t> phaseCounts(-131072, 131071);
      for(std::size_t i = 0; i < n; ++i) {
        reference.rawAmplitude[i] = fullRange ? full(random) : sixteenBit(random);
        reference.rawPhase[i] = fullRange ? full(random) : phaseCounts(random);
      }
      reference.rawAmplitude[0] = std::numeric_limits<int32_t>::min();
      const double bitScaling = 3.7;
      const SignalParameters parameters{bitScaling, 100.0, powerFactor(2.5, 1.3), n / 3};
      const auto referencePeaks = reference.compute(Implementation::portable, parameters);
      ASSERT_TRUE(referencePeaks);

      PeakPowers expectedPeaks;
      for(std::size_t i = 0; i < n; ++i) {
        // Worked out in long double: the float result is the nearest float to the exact value, up to the
        // double rounding on the way (a relative 2^-53).
        const long double exact = static_cast<long double>(reference.rawAmplitude[i]) / bitScaling;
        const float amplitude = reference.amplitude[i];
        const long double halfUlp = (std::nextafter(std::fabs(amplitude), infinity) - std::fabs(amplitude)) / 2.0L;
        ASSERT_LE(std::fabs(static_cast<long double>(amplitude) - exact), halfUlp + std::fabs(exact) * 0x1p-52L) << i;

        const long double degrees = static_cast<long double>(reference.rawPhase[i]) * 45.0L / 32768.0L;
        ASSERT_EQ(reference.phase[i], exact > 100.0L ? static_cast<float>(degrees) : 0.F) << i;

        const long double raw = reference.rawAmplitude[i];
        const long double power = raw * raw / (2.5L * 1.3L);
        ASSERT_NEAR(reference.power[i], power, static_cast<double>(power) * 1e-7) << i;
        float& peak = i < n / 3 ? expectedPeaks.filling : expectedPeaks.flattop;
        peak = std::max(peak, reference.power[i]);
      }
      EXPECT_EQ(referencePeaks->filling, expectedPeaks.filling);
      EXPECT_EQ(referencePeaks->flattop, expectedPeaks.flattop);

      for(auto implementation : availableImplementations()) {
        Pulse other = reference;
        std::fill(other.amplitude.begin(), other.amplitude.end(), -1.F);
        std::fill(other.phase.begin(), other.phase.end(), -1.F);
        std::fill(other.power.begin(), other.power.end(), -1.F);
        const auto peaks = other.compute(implementation, parameters);
        ASSERT_TRUE(peaks);
        EXPECT_TRUE(sameBits(other.amplitude, reference.amplitude)) << nameOf(implementation);
        EXPECT_TRUE(sameBits(other.phase, reference.phase)) << nameOf(implementation);
        EXPECT_TRUE(sameBits(other.power, reference.power)) << nameOf(implementation);
        EXPECT_EQ(peaks->filling, referencePeaks->filling) << nameOf(implementation);
        EXPECT_EQ(peaks->flattop, referencePeaks->flattop) << nameOf(implementation);
      }
    }
  }
}

TEST(AdcChannelKernels, TheFastestAvailableImplementationIsTheBest) {
  EXPECT_TRUE(isAvailable(Implementation::portable));
  // AVX-512 is only used together with AVX2 and FMA, whose kernels it shares
  if(isAvailable(Implementation::avx512)) {
    EXPECT_TRUE(isAvailable(Implementation::avx2));
  }
  EXPECT_EQ(bestImplementation(), availableImplementations().back());
  EXPECT_FALSE(hasAvx2Kernels(Implementation::portable));
  EXPECT_TRUE(hasAvx2Kernels(Implementation::avx2));
  EXPECT_TRUE(hasAvx2Kernels(Implementation::avx512));
}

TEST(AdcChannelKernels, VectorPathsEqualThePortableOneForEveryTailAndFlattopStart) {
  // Every pulse length up to a few vectors of either width and every flat-top start, so that each range
  // ends in a tail of every length after zero, one or more vector steps; with and without power and
  // statistics. The amplitudes scatter around the zero-phase threshold.
  const auto implementations = availableImplementations();
  if(implementations.size() < 2) GTEST_SKIP() << "no vectorised implementation on this processor";
  std::mt19937 random(17);
  std::uniform_int_distribution<int32_t> counts(-400, 400);
  std::uniform_int_distribution<int32_t> phaseCounts(-131072, 131071);
  for(std::size_t n = 0; n <= 35; ++n) {
    Pulse reference(n);
    for(std::size_t i = 0; i < n; ++i) {
      reference.rawAmplitude[i] = counts(random);
      reference.rawPhase[i] = phaseCounts(random);
      reference.power[i] = static_cast<float>(i);
    }
    for(std::size_t flattopBegin = 0; flattopBegin <= n + 1; ++flattopBegin) {
      for(bool withPower : {true, false}) {
        for(bool withStatistics : {false, true}) {
          const SignalParameters parameters{1.5, 100.0, withPower ? powerFactor(0.7, 1.0) : std::nullopt,
              flattopBegin};
          Pulse expected = reference;
          const auto expectedResults = computeSignals(Implementation::portable, expected.rawAmplitude,
              expected.rawPhase, parameters, expected.amplitude, expected.phase, expected.power, withStatistics);
          for(auto implementation : implementations) {
            if(implementation == Implementation::portable) continue;
            SCOPED_TRACE(std::string(nameOf(implementation)) + ", n = " + std::to_string(n) + ", flat-top from " +
                std::to_string(flattopBegin) + (withPower ? ", power" : "") + (withStatistics ? ", statistics" : ""));
            Pulse other = reference;
            const auto results = computeSignals(implementation, other.rawAmplitude, other.rawPhase, parameters,
                other.amplitude, other.phase, other.power, withStatistics);
            ASSERT_TRUE(sameBits(other.amplitude, expected.amplitude));
            ASSERT_TRUE(sameBits(other.phase, expected.phase));
            ASSERT_TRUE(sameBits(other.power, expected.power));
            ASSERT_EQ(results.peaks.has_value(), withPower);
            if(withPower) {
              EXPECT_EQ(results.peaks->filling, expectedResults.peaks->filling);
              EXPECT_EQ(results.peaks->flattop, expectedResults.peaks->flattop);
            }
            ASSERT_EQ(results.statistics.has_value(), withStatistics);
            if(withStatistics) {
              EXPECT_EQ(std::memcmp(&*results.statistics, &*expectedResults.statistics, sizeof(Statistics)), 0);
            }
          }
        }
      }
    }
  }
}

TEST(AdcChannelKernels, PowerFactorNeedsBothScalingsStrictlyPositive) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(powerFactor(2.0, 4.0), 0.125);
  EXPECT_EQ(powerFactor(1.0, 1.0), 1.0);
  for(auto [powerScaling, extraPowerScaling] : {std::pair{0.0, 1.0}, {1.0, 0.0}, {-1.0, 1.0}, {1.0, -2.0},
          {nan, 1.0}, {1.0, nan}, {-0.0, 1.0}}) {
    EXPECT_FALSE(powerFactor(powerScaling, extraPowerScaling)) << powerScaling << " x " << extraPowerScaling;
  }
}

TEST(AdcChannelKernels, PowerOfTheMostNegativeCount) {
  for(auto implementation : availableImplementations()) {
    Pulse pulse(6);
    pulse.rawAmplitude[5] = -32768;
    const auto peaks = pulse.compute(implementation, {1.0, 0.0, powerFactor(1.0, 1.0), 0});
    ASSERT_TRUE(peaks);
    EXPECT_EQ(pulse.power[5], 1073741824.F) << nameOf(implementation);
    EXPECT_EQ(peaks->flattop, 1073741824.F) << nameOf(implementation);
    EXPECT_EQ(peaks->filling, 0.F) << nameOf(implementation);
  }
}

TEST(AdcChannelKernels, PeakPowersAroundTheFlattopStart) {
  // Squares: 1 25 4 81 9 16 64 1 49.
  const std::vector<int32_t> raw{1, 5, 2, 9, 3, 4, 8, 1, 7};
  struct Case {
    std::size_t flattopBegin;
    float filling, flattop;
  };
  const Case cases[] = {{0, 0.F, 81.F}, {3, 25.F, 81.F}, {4, 81.F, 64.F}, {7, 81.F, 49.F}, {8, 81.F, 49.F},
      {9, 81.F, 0.F}, {1000, 81.F, 0.F}};
  for(auto implementation : availableImplementations()) {
    for(const auto& c : cases) {
      SCOPED_TRACE(std::string(nameOf(implementation)) + ", flat-top from " + std::to_string(c.flattopBegin));
      Pulse pulse(raw.size());
      pulse.rawAmplitude = raw;
      const auto peaks = pulse.compute(implementation, {1.0, 0.0, 1.0, c.flattopBegin});
      ASSERT_TRUE(peaks);
      EXPECT_EQ(peaks->filling, c.filling);
      EXPECT_EQ(peaks->flattop, c.flattop);
      EXPECT_EQ(pulse.power, (std::vector<float>{1, 25, 4, 81, 9, 16, 64, 1, 49}));
    }
  }
}

TEST(AdcChannelKernels, NotANumberNeverBecomesThePeak) {
  // An infinite factor (scalings so small that their product is 0) makes 0 counts NaN and others infinite.
  for(auto implementation : availableImplementations()) {
    Pulse pulse(21);
    auto peaks = pulse.compute(implementation, {1.0, 0.0, std::numeric_limits<double>::infinity(), 4});
    ASSERT_TRUE(peaks);
    EXPECT_TRUE(std::isnan(pulse.power[0]));
    EXPECT_EQ(peaks->filling, 0.F) << nameOf(implementation);
    EXPECT_EQ(peaks->flattop, 0.F) << nameOf(implementation);
    // The largest value is followed by NaN samples, also four and eight samples later in the same lane of a
    // vector of four or of eight.
    pulse.rawAmplitude[5] = 1;
    peaks = pulse.compute(implementation, {1.0, 0.0, std::numeric_limits<double>::infinity(), 4});
    EXPECT_EQ(peaks->flattop, infinity) << nameOf(implementation);
  }
}

TEST(AdcChannelKernels, PowerIsLeftAloneWithoutAFactor) {
  for(auto implementation : availableImplementations()) {
    Pulse pulse(7);
    pulse.rawAmplitude.assign(7, 100);
    pulse.power.assign(7, 7.5F);
    EXPECT_FALSE(pulse.compute(implementation, {1.0, 0.0, powerFactor(0.0, 1.0), 0}));
    EXPECT_EQ(pulse.power, std::vector<float>(7, 7.5F)) << nameOf(implementation);
    EXPECT_EQ(pulse.amplitude, std::vector<float>(7, 100.F)) << nameOf(implementation);
  }
}

TEST(AdcChannelKernels, MismatchedLengthsAreRefused) {
  Pulse pulse(8);
  std::vector<float> shortPhase(7);
  const SignalParameters withPower{1.0, 0.0, 1.0, 0};
  const SignalParameters withoutPower{1.0, 0.0, std::nullopt, 0};
  auto compute = [&](const SignalParameters& parameters, std::span<float> phase, std::span<float> power,
                     bool withStatistics) {
    computeSignals(pulse.rawAmplitude, pulse.rawPhase, parameters, pulse.amplitude, phase, power, withStatistics);
  };
  EXPECT_THROW(compute(withPower, shortPhase, pulse.power, false), Corvane::logic_error);
  EXPECT_THROW(compute(withPower, pulse.phase, {}, false), Corvane::logic_error);
  EXPECT_THROW(compute(withoutPower, pulse.phase, {}, true), Corvane::logic_error);
  EXPECT_NO_THROW(compute(withoutPower, pulse.phase, {}, false));
  EXPECT_THROW(computeStatistics(pulse.amplitude, pulse.phase, shortPhase), Corvane::logic_error);
}

TEST(AdcChannelKernels, StatisticsInTheSignalPassEqualASeparatePass) {
  // With and without a power computation (then the power array's current content counts), on every path.
  std::mt19937 random(3);
  std::uniform_int_distribution<int32_t> counts(-32768, 32767);
  for(std::size_t n : {std::size_t{1}, std::size_t{7}, std::size_t{4099}}) {
    for(auto implementation : availableImplementations()) {
      for(bool withPower : {true, false}) {
        SCOPED_TRACE(std::string(nameOf(implementation)) + ", n = " + std::to_string(n) +
            (withPower ? ", power computed" : ", power kept"));
        Pulse pulse(n);
        for(std::size_t i = 0; i < n; ++i) {
          pulse.rawAmplitude[i] = counts(random);
          pulse.rawPhase[i] = counts(random);
          pulse.power[i] = static_cast<float>(i % 17);
        }
        const SignalParameters parameters{2.0, -100.0, withPower ? powerFactor(3.0, 1.0) : std::nullopt, n / 2};
        const auto results = computeSignals(implementation, pulse.rawAmplitude, pulse.rawPhase, parameters,
            pulse.amplitude, pulse.phase, pulse.power, true);
        ASSERT_TRUE(results.statistics);
        EXPECT_EQ(results.peaks.has_value(), withPower);
        if(!withPower) {
          EXPECT_EQ(pulse.power[n - 1], static_cast<float>((n - 1) % 17));
        }
        const auto separate = computeStatistics(pulse.amplitude, pulse.phase, pulse.power);
        EXPECT_EQ(std::memcmp(&*results.statistics, &separate, sizeof(Statistics)), 0);
      }
    }
  }
}

TEST(AdcChannelKernels, StatisticsOfASmallPulse) {
  // Mean 5, squared deviations 9 1 1 1 0 0 4 16 (sum 32) over n - 1 = 7.
  const std::vector<float> amplitude{2, 4, 4, 4, 5, 5, 7, 9};
  const std::vector<float> phase{-2, -4, -4, -4, -5, -5, -7, -9};
  const std::vector<float> power{1, 1, 1, 1, 3, 3, 3, 3};
  const auto statistics = computeStatistics(amplitude, phase, power);
  EXPECT_EQ(statistics.amplitudeAverage, 5.F);
  EXPECT_EQ(statistics.phaseAverage, -5.F);
  EXPECT_EQ(statistics.powerAverage, 2.F);
  EXPECT_FLOAT_EQ(statistics.amplitudeStandardDeviation, 2.1380899F);
  EXPECT_FLOAT_EQ(statistics.phaseStandardDeviation, 2.1380899F);
}

TEST(AdcChannelKernels, StatisticsAccumulateInFloatInIndexOrder) {
  // 2^24 + 1 rounds back to 2^24 in float at every step; a wider sum would give 16777220 / 5 = 3355444.
  const std::vector<float> amplitude{16777216.F, 1, 1, 1, 1};
  const std::vector<float> zeros(5, 0.F);
  const auto statistics = computeStatistics(amplitude, zeros, zeros);
  EXPECT_EQ(statistics.amplitudeAverage, 3355443.25F);
  // In reverse order the ones add up first: 16777220 / 5.
  const std::vector<float> reversed{1, 1, 1, 1, 16777216.F};
  EXPECT_EQ(computeStatistics(reversed, zeros, zeros).amplitudeAverage, 3355444.F);
}

TEST(AdcChannelKernels, StatisticsOfOneSample) {
  const std::vector<float> amplitude{3.5F}, phase{-20.F}, power{8.F};
  const auto statistics = computeStatistics(amplitude, phase, power);
  EXPECT_EQ(statistics.amplitudeAverage, 3.5F);
  EXPECT_EQ(statistics.phaseAverage, -20.F);
  EXPECT_EQ(statistics.powerAverage, 8.F);
  EXPECT_TRUE(std::isnan(statistics.amplitudeStandardDeviation));
  EXPECT_TRUE(std::isnan(statistics.phaseStandardDeviation));
}
