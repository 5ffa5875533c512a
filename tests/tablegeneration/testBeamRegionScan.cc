// The per-bunch pattern split into beam and transition regions, and the
// slew-rate check of the per-bunch tables, against values worked out here.
#include "PerBunchStation.h"
#include "TableGeneration/BeamRegionScan.h"
#include "EdgeValues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

  using testvalues::nan;

  using TableGeneration::checkSlewRate;
  using TableGeneration::scanBeamRegions;
  using tablegenerationtest::neededTime;
  using Flags = std::vector<Corvane::Boolean>;
  constexpr bool T = true;
  constexpr bool F = false;

  TEST(BeamRegionScan, SplitsThePatternIntoRegions) {
    struct Case {
      std::string what;
      Flags flags;
      std::int64_t flattopBunches;
      std::uint32_t nMaxBeamRegions;
      std::uint32_t nBeam, nTransition;
      std::vector<std::uint32_t> beam, transition;
      bool tooMany;
    };
    const Case cases[] = {
        {"no flat-top after T_ZERO", {F, F}, 0, 4, 0, 0, {0, 0, 0, 0}, {0, 0, 0, 0, 0}, false},
        {"three beam regions", {F, F, T, T, F, F, T, F}, 8, 4, 3, 4, {0, 4, 7, 0}, {0, 2, 6, 8, 0}, false},
        {"leading and trailing transitions", {T, F, F, T}, 4, 4, 1, 2, {1, 0, 0, 0}, {0, 3, 0, 0, 0}, false},
        {"scan ends at the flat-top", {F, F, T, F}, 2, 4, 1, 2, {0, 0, 0, 0}, {0, 2, 0, 0, 0}, false},
        {"flat-top beyond the pattern", {F, T}, 100, 4, 1, 2, {0, 0, 0, 0}, {0, 1, 0, 0, 0}, false},
        {"only transitions", {T, T, T}, 3, 4, 0, 1, {0, 0, 0, 0}, {0, 0, 0, 0, 0}, false},
        // the second of two allowed regions is already one too many; it swallows the rest
        {"too many beam regions", {F, T, F, T}, 4, 2, 2, 3, {0, 2}, {0, 1, 4}, true},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.what);
      const auto r = scanBeamRegions(c.flags, c.flattopBunches, c.nMaxBeamRegions);
      EXPECT_EQ(r.nBeamRegions, c.nBeam);
      EXPECT_EQ(r.nTransitionRegions, c.nTransition);
      EXPECT_EQ(r.startIndexBeam, c.beam);
      EXPECT_EQ(r.startIndexTransition, c.transition);
      EXPECT_EQ(r.tooManyBeamRegions, c.tooMany);
    }
  }

  TEST(BeamRegionScan, SlewRateOfTransitionsAndBeamRegions) {
    constexpr std::uint32_t all = 0xFFFFFFFFu;
    struct Case {
      std::string what;
      Flags flags;
      std::vector<double> amplitude, phase;
      double radius, samplingFrequency;
      Flags bunchOk;
      std::uint32_t transitionOk;
      std::vector<double> minTime; // per transition region
    };
    const Case cases[] = {
        // transition 1 offers 2 us for a change with a phase step; transition 2 offers 1 us for 1.3
        {"second transition too short", {F, F, T, T, F, F, T, F}, {0.5, 0.5, nan, nan, 1.0, 1.2, nan, 2.5},
            {0, 0, nan, nan, 30, 30, nan, 30}, 1.0, 1.0, {T, T, T, T, T, T, F, T}, all & ~(1u << 2),
            {0, neededTime(0.5, 0, 1.0, 30, 1.0), neededTime(1.2, 30, 2.5, 30, 1.0), 0, 0}},
        {"needed time equal to the time offered", {F, T, T, F}, {1, nan, nan, 1.5}, {0, nan, nan, 0}, 0.25, 1.0,
            {T, F, F, T}, all & ~(1u << 1), {0, 2.0, 0, 0, 0}},
        {"twice the radius", {F, T, T, F}, {1, nan, nan, 1.5}, {0, nan, nan, 0}, 0.5, 1.0, {T, T, T, T}, all,
            {0, 1.0, 0, 0, 0}},
        {"a step inside a beam region", {F, F, F}, {1, 1, 2.5}, {0, 0, 0}, 1.0, 1.0, {T, T, F}, all, {0, 0, 0, 0, 0}},
        {"a beam step within half a microsecond", {F, F}, {1, 1.4}, {0, 0}, 1.0, 2.0, {T, T}, all, {0, 0, 0, 0, 0}},
        {"a beam step beyond half a microsecond", {F, F}, {1, 1.6}, {0, 0}, 1.0, 2.0, {T, F}, all, {0, 0, 0, 0, 0}},
        // a region's first bunch is not compared with the region before
        {"a new region starts afresh", {F, T, F}, {0, nan, 0.9}, {0, nan, 90}, 0.1, 1.0, {T, F, T}, all & ~(1u << 1),
            {0, neededTime(0, 0, 0.9, 90, 0.1), 0, 0, 0}},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.what);
      llrf::MultiFlattopLimits limits;
      limits.setRadius(c.radius);
      const auto regions = scanBeamRegions(c.flags, std::ssize(c.flags), 4);
      bool broken = false;
      const auto r = checkSlewRate(
          regions, c.amplitude, c.phase, c.flags, limits, c.samplingFrequency, 5, [&broken] { broken = true; });
      EXPECT_FALSE(broken);
      EXPECT_EQ(r.bunchOk, c.bunchOk);
      EXPECT_EQ(r.transitionOk, c.transitionOk);
      ASSERT_EQ(r.transitionMinTime.size(), c.minTime.size());
      for(std::size_t t = 0; t < c.minTime.size(); ++t) EXPECT_NEAR(r.transitionMinTime[t], c.minTime[t], 1e-12);
      const bool allOk = std::ranges::all_of(c.bunchOk, [](Corvane::Boolean b) { return bool(b); });
      EXPECT_EQ(r.ok, allOk);
    }
  }

} // namespace
