// The feed-forward amplitude computation on hand-made indices: the smoothing
// function's three shapes, edges that lie partly outside the table, and the
// flat-top taken from the per-bunch set-point table.
#include "TableGeneration/FeedForwardAmplitude.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

  using namespace TableGeneration;

  TEST(FeedForwardAmplitude, SmoothFunctionShapes) {
    struct Case {
      std::int32_t selector;
      double x, expected;
    };
    const double s = std::sqrt(0.5);
    // 1: quarter sine, -1: half sine (S-curve), anything else linear; from 2 to 6
    const Case cases[] = {{1, 0, 2}, {1, 0.5, 2 + 4 * s}, {-1, 0, 2}, {-1, 0.25, 2 + 4 * 0.5 * (1 - s)}, {-1, 0.5, 4},
        {2, 0.25, 3}, {-2, 0.75, 5}, {0, 0.5, 4}};
    for(const auto& c : cases) {
      EXPECT_NEAR(smoothFunction(c.selector, 2, 6, c.x), c.expected, 1e-14) << c.selector << " at " << c.x;
    }
  }

  TEST(FeedForwardAmplitude, EdgesBeyondTheTableWriteOnlyTheSamplesInside) {
    TableIndices ix;
    ix.ffFillingBegin = 2;
    ix.ffRiseEnd = 2;
    ix.ffStepBegin = 5;
    ix.ffStepEnd = 5;
    ix.ffDecayBegin = 8;
    ix.ffFallEnd = 12; // beyond the 10 samples: the fall is cut
    FeedForwardAmplitudeInputs in{1, 0, 2, 0, 0, 2};
    std::vector<double> amplitude(10, -1);
    feedForwardFillingAmplitude(amplitude, ix, in);
    feedForwardFlattopAmplitude(amplitude, ix, in);
    EXPECT_EQ(amplitude, (std::vector<double>{-1, -1, 1, 1, 1, 2, 2, 2, 2, 1.5}));
  }

  TEST(FeedForwardAmplitude, PerBunchFlatTopFollowsTheSetPointTableOnlyWhenEnabled) {
    TableIndices ix;
    ix.spFlattopBegin = 2;
    ix.spDecayBegin = 5;
    const std::vector<double> spAmplitude{9, 9, 1, 2, 3, 9}, spPhase{9, 9, 10, 20, 30, 9};
    PerBunchFlattop view;
    std::vector<double> amplitude(6, 0), phase(6, 0);
    feedForwardFlattopFromPerBunchTable(amplitude, phase, spAmplitude, spPhase, ix, 2, view);
    EXPECT_EQ(amplitude, std::vector<double>(6, 0));
    view.enabled = true;
    feedForwardFlattopFromPerBunchTable(amplitude, phase, spAmplitude, spPhase, ix, 2, view);
    EXPECT_EQ(amplitude, (std::vector<double>{0, 0, 2, 4, 6, 0}));
    EXPECT_EQ(phase, (std::vector<double>{0, 0, 10, 20, 30, 0}));
  }

} // namespace
