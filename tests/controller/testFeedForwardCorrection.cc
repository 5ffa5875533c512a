// The feed-forward table's arithmetic without the framework: user and learned corrections summed into whole
// digits (the learned one in single precision, truncated toward zero), saturation at the 32-bit limits, learned
// samples that are not finite left out, and the pairing of a generated table's I and Q by version number.
#include "FeedForwardCorrection.h"
#include "IQVersionPairing.h"
#include "EdgeValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace {

  using testvalues::int32Max;
  using testvalues::int32Min;

  const float nanf = std::numeric_limits<float>::quiet_NaN();
  const float inff = std::numeric_limits<float>::infinity();

  /// The correction and total of one sample with generated value `generated`.
  struct Sample {
    std::int32_t correction;
    double total;
    std::size_t unusable;
  };

  Sample sumOne(double generated, std::optional<std::int32_t> user, std::optional<float> learned) {
    const std::vector<double> g{generated};
    const std::vector<std::int32_t> u{user.value_or(0)};
    const std::vector<float> l{learned.value_or(0)};
    std::vector<std::int32_t> correction{-99};
    std::vector<double> total{-99};
    const FeedForwardCorrection::Components components{
        g, user ? std::span<const std::int32_t>(u) : std::span<const std::int32_t>(),
        learned ? std::span<const float>(l) : std::span<const float>()};
    const auto unusable = FeedForwardCorrection::sum(components, correction, total);
    return {correction[0], total[0], unusable.count};
  }

  TEST(FeedForwardCorrection, LearnedCorrectionIsAddedInSinglePrecisionAndTruncatedTowardZero) {
    struct Case {
      std::optional<std::int32_t> user;
      std::optional<float> learned;
      std::int32_t correction;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, 0},
        {std::nullopt, 2.7F, 2},
        {std::nullopt, -2.7F, -2},
        {std::nullopt, 0.9F, 0},
        {10, 2.7F, 12},
        {10, -2.7F, 7},
        {-5, std::nullopt, -5},
        {std::nullopt, -0.5F, 0},
        // beyond 2^24 the single-precision sum keeps 24 bits: 16777217 + 0.5 is 16777216
        {16777217, 0.5F, 16777216},
        // saturation instead of an undefined conversion
        {int32Max, 1e10F, int32Max},
        {int32Min, -1e10F, int32Min},
        {std::nullopt, 3e38F, int32Max},
        // a learned sample that is not a number adds nothing, also to the user correction
        {std::nullopt, nanf, 0},
        {10, nanf, 10},
        {10, inff, 10},
        {-3, -inff, -3},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "user " << (c.user ? std::to_string(*c.user) : "off") << ", learned "
                                      << (c.learned ? std::to_string(*c.learned) : "off"));
      const auto sample = sumOne(0.25, c.user, c.learned);
      EXPECT_EQ(sample.correction, c.correction);
      // the generated value keeps its fraction in the total
      EXPECT_EQ(sample.total, static_cast<double>(c.correction) + 0.25);
      EXPECT_EQ(sample.unusable, c.learned && !std::isfinite(*c.learned) ? 1u : 0u);
    }
  }

  TEST(FeedForwardCorrection, EveryArrayIsSummedSampleBySampleAndUnusableLearnedSamplesAreCounted) {
    const std::vector<double> generated{1.5, -2.25, 0, 100};
    const std::vector<std::int32_t> user{1, 2, 3, 4};
    const std::vector<float> learned{0.5F, nanf, -7.9F, inff};
    std::vector<std::int32_t> correction(4);
    std::vector<double> total(4);
    const auto unusable = FeedForwardCorrection::sum({generated, user, learned}, correction, total);
    EXPECT_EQ(correction, (std::vector<std::int32_t>{1, 2, -4, 4}));
    EXPECT_EQ(total, (std::vector<double>{2.5, -0.25, -4, 104}));
    EXPECT_EQ(unusable.count, 2u);
    EXPECT_EQ(unusable.firstIndex, 1u);
    EXPECT_TRUE(std::isnan(unusable.firstValue));
    // without corrections the total is the generated table exactly
    FeedForwardCorrection::sum({generated, {}, {}}, correction, total);
    EXPECT_EQ(correction, (std::vector<std::int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(total, generated);
  }

  TEST(IQVersionPairing, ATableIsCompleteWhenBothArraysArrivedWithOneVersion) {
    using Part = IQVersionPairing::Part;
    const Corvane::VersionNumber v1, v2, v3;
    IQVersionPairing pairing;
    struct Step {
      Part part;
      Corvane::VersionNumber version;
      bool complete;
    };
    const Step steps[] = {
        {Part::I, v1, false}, {Part::Q, v1, true},  // one generation
        {Part::Q, v2, false}, {Part::I, v2, true},  // either array may come first
        {Part::I, v2, false}, {Part::Q, v2, true},  // a later generation may carry the same version
        {Part::I, v3, false}, {Part::I, v3, false}, // an array alone never completes a table
        {Part::Q, v2, false},                       // a stale Q does not pair with the newer I
        {Part::Q, v3, true},
    };
    for(std::size_t k = 0; k < std::size(steps); ++k) {
      EXPECT_EQ(pairing.update(steps[k].part, steps[k].version), steps[k].complete) << "step " << k;
    }
  }

} // namespace
