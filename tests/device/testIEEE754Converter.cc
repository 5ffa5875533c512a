// Edges of the single-precision float register conversion.
#include "Corvane/IEEE754Converter.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

using Corvane::IEEE754Converter;

namespace {

  constexpr double infinity = std::numeric_limits<double>::infinity();
  constexpr float fmax = std::numeric_limits<float>::max();

  std::int32_t bits(float value) { return std::bit_cast<std::int32_t>(value); }
  float floatOfRaw(std::int32_t raw) { return std::bit_cast<float>(raw); }

  const IEEE754Converter attenuation("/Board/WORD_ATT_VAL");

  TEST(IEEE754Converter, DoubleToRaw) {
    struct Case {
      double value;
      float stored;
    };
    const Case cases[] = {
        {1.5, 1.5f},
        {0.1, 0.1f},
        {-0.0, -0.0f},
        {infinity, std::numeric_limits<float>::infinity()},
        {-infinity, -std::numeric_limits<float>::infinity()},
        {1e39, fmax},     // finite values stay finite: saturate at the largest float
        {-1e39, -fmax},
        {1e-50, 0.0f},    // below the smallest subnormal
        {16777217.0, 16777216.0f},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE("value " + std::to_string(c.value));
      EXPECT_EQ(attenuation.toRaw(c.value), bits(c.stored));
    }
    EXPECT_TRUE(std::isnan(floatOfRaw(attenuation.toRaw(std::numeric_limits<double>::quiet_NaN()))));
    EXPECT_TRUE(std::isnan(floatOfRaw(attenuation.toRaw(std::string("nan")))));
    EXPECT_EQ(attenuation.toRaw(std::int64_t{16777217}), bits(16777216.0f));
    EXPECT_EQ(attenuation.toRaw(std::string("0.1")), bits(0.1f));
    EXPECT_THROW(attenuation.toRaw(std::string("0.1V")), Corvane::logic_error);
  }

  TEST(IEEE754Converter, RawToInteger) {
    struct Case {
      float stored;
      std::int32_t asInt32;
      std::uint32_t asUint32;
    };
    const Case cases[] = {
        {2.5f, 3, 3},
        {-2.5f, -3, 0},
        {2.4999f, 2, 2},
        {-0.5f, -1, 0},
        {3e9f, 2147483647, 3000000000u},
        {std::numeric_limits<float>::infinity(), 2147483647, 4294967295u},
        {-std::numeric_limits<float>::infinity(), -2147483647 - 1, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0, 0}, // an integer has no NaN
    };
    for(const auto& c : cases) {
      SCOPED_TRACE("stored " + std::to_string(c.stored));
      EXPECT_EQ(attenuation.toCooked<std::int32_t>(bits(c.stored)), c.asInt32);
      EXPECT_EQ(attenuation.toCooked<std::uint32_t>(bits(c.stored)), c.asUint32);
    }
  }

  TEST(IEEE754Converter, RawToFloatingAndText) {
    EXPECT_EQ(attenuation.toCooked<double>(bits(0.1f)), static_cast<double>(0.1f));
    EXPECT_EQ(attenuation.toCooked<float>(bits(-fmax)), -fmax);
    EXPECT_TRUE(std::isnan(attenuation.toCooked<double>(bits(std::numeric_limits<float>::quiet_NaN()))));
    EXPECT_EQ(attenuation.toCooked<std::string>(bits(0.1f)), "0.1"); // the float's own shortest text
    EXPECT_EQ(attenuation.toCooked<std::string>(bits(std::numeric_limits<float>::quiet_NaN())), "nan");
    EXPECT_EQ(attenuation.toCooked<std::string>(bits(-std::numeric_limits<float>::infinity())), "-inf");
    EXPECT_EQ(attenuation.toCooked<std::string>(bits(65e6f)), "6.5e+07");
  }

#ifdef CORVANE_DEVICE_HAS_FRAMEWORK_TYPES
  TEST(IEEE754Converter, BooleanAndVoid) {
    EXPECT_FALSE(attenuation.toCooked<Corvane::Boolean>(bits(0.0f)));
    EXPECT_FALSE(attenuation.toCooked<Corvane::Boolean>(bits(-0.0f)));
    EXPECT_FALSE(attenuation.toCooked<Corvane::Boolean>(bits(std::numeric_limits<float>::quiet_NaN())));
    EXPECT_TRUE(attenuation.toCooked<Corvane::Boolean>(bits(1e-30f)));
    EXPECT_EQ(attenuation.toRaw(Corvane::Boolean(true)), bits(1.0f));
    EXPECT_EQ(attenuation.toRaw(Corvane::Void{}), bits(1.0f));
  }
#endif

} // namespace
