// The phase and value helpers: folding into (-180, 180], count conversion, float classification
// and the time stamp's form.
#include "tools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>

namespace {

  struct FoldCase {
    double in;
    double out;
  };

  TEST(Tools, CanonicalPhaseFoldsIntoHalfOpenTurn) {
    const FoldCase cases[] = {{180.0, 180.0}, {-180.0, 180.0}, {0.0, 0.0}, {359.0, -1.0}, {720.5, 0.5}, {540.0, 180.0},
        {-540.0, 180.0}, {181.0, -179.0}, {-181.0, 179.0}, {-179.5, -179.5}, {1e6, 1e6 - 2778 * 360.0}};
    for(auto c : cases) EXPECT_EQ(tools::canonicalPhaseDefinition(c.in), c.out) << "input " << c.in;
  }

  TEST(Tools, CanonicalPhaseKeepsNegativeZeroAndGivesNaNForNonFinite) {
    EXPECT_TRUE(std::signbit(tools::canonicalPhaseDefinition(-0.0)));
    EXPECT_TRUE(std::isnan(tools::canonicalPhaseDefinition(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isnan(tools::canonicalPhaseDefinition(std::numeric_limits<double>::infinity())));
    EXPECT_TRUE(std::isnan(tools::canonicalPhaseDefinition(-std::numeric_limits<double>::infinity())));
  }

  TEST(Tools, CountToDegreesIsExact) {
    EXPECT_EQ(tools::countToDeg(1), 0.001373291015625f);
    EXPECT_EQ(tools::countToDeg(262144), 360.0f);
    EXPECT_EQ(tools::countToDeg(-131072), -180.0f);
    EXPECT_EQ(tools::countToDeg(131072), 180.0f);
    EXPECT_EQ(tools::countToDeg(0), 0.0f);
  }

  TEST(Tools, CorrectFloatAcceptsZeroAndNormalFiniteOnly) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    struct Case {
      float value;
      bool correct;
    };
    const Case cases[] = {{0.0f, true}, {-0.0f, true}, {-1.0f, true}, {1e-40f, false},
        {std::numeric_limits<float>::min(), true}, {std::numeric_limits<float>::denorm_min(), false},
        {std::numeric_limits<float>::max(), true}, {-std::numeric_limits<float>::max(), true}, {inf, false},
        {-inf, false}, {std::numeric_limits<float>::quiet_NaN(), false}};
    for(auto c : cases) EXPECT_EQ(tools::correctFloat(c.value), c.correct) << "value " << c.value;
  }

  TEST(Tools, TimeStampIsBracketedLocalTimeWithMicroseconds) {
    auto stamp = tools::getTime();
    std::regex form(R"(\[\d{4}-[A-Z][a-z]{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{6}\] )");
    EXPECT_TRUE(std::regex_match(stamp, form)) << stamp;
  }

} // namespace
