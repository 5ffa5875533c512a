// Whole-array encoding of floating-point values takes a fast path for fixed-point and IEEE-754
// registers; it must give exactly the words the element-wise conversion gives (rounding of
// halves, saturation, bit offsets, the float specials), and refuse NaN towards fixed point.
#include "Corvane/FixedPointConverter.h"
#include "Corvane/IEEE754Converter.h"
#include "Corvane/RegisterConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

  template<class T>
  std::vector<T> edgeValues() {
    constexpr T inf = std::numeric_limits<T>::infinity();
    std::vector<T> values{0, -0.0, 0.5, -0.5, 1.5, -1.5, 2.5, -2.5, 0.49999999999999994, 1e-300, -1e-300,
        T(131071.5), T(-131072.5), T(2147483647.5), T(-2147483648.5), T(4294967295.4), T(1e38), T(3.4028235e38),
        T(-3.4028235e38), std::numeric_limits<T>::max(), std::numeric_limits<T>::lowest(), inf, -inf,
        std::numeric_limits<T>::denorm_min()};
    std::mt19937 random(4711);
    std::uniform_real_distribution<double> spread(-3e5, 3e5);
    for(int i = 0; i < 200; ++i) values.push_back(static_cast<T>(spread(random)));
    return values;
  }

  template<class T, class Converter>
  void expectSameAsElementWise(const Converter& converter, const std::vector<T>& values) {
    Corvane::RegisterConverter bulk(converter);
    std::vector<std::int32_t> raw(values.size());
    bulk.toRaw<T>(std::span<const T>(values), std::span<std::int32_t>(raw));
    for(std::size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(raw[i], converter.template toRaw<T>(values[i])) << values[i];
    }
  }

  TEST(BulkEncode, FixedPointFastPathMatchesElementWiseConversion) {
    for(unsigned width : {1u, 8u, 16u, 18u, 24u, 31u, 32u}) {
      for(int frac : {-8, 0, 1, 8, 17, 31}) {
        for(bool isSigned : {true, false}) {
          for(unsigned offset : {0u, 3u}) {
            if(width + offset > 32) continue;
            SCOPED_TRACE(testing::Message() << "width " << width << " frac " << frac << " signed " << isSigned
                                            << " offset " << offset);
            Corvane::FixedPointConverter fixed("/test", width, frac, isSigned, offset);
            expectSameAsElementWise<double>(fixed, edgeValues<double>());
            expectSameAsElementWise<float>(fixed, edgeValues<float>());
          }
        }
      }
    }
  }

  TEST(BulkEncode, IEEE754FastPathMatchesElementWiseConversion) {
    Corvane::IEEE754Converter single("/test");
    expectSameAsElementWise<double>(single, edgeValues<double>());
    expectSameAsElementWise<float>(single, edgeValues<float>());
  }

  TEST(BulkEncode, NaNTowardsFixedPointIsRefusedAndNaNTowardsAFloatKept) {
    const std::vector<double> values{1.0, std::numeric_limits<double>::quiet_NaN(), 2.0};
    std::vector<std::int32_t> raw(values.size());
    Corvane::RegisterConverter fixed(Corvane::FixedPointConverter("/test", 18, 0, true));
    EXPECT_THROW(fixed.toRaw<double>(std::span<const double>(values), std::span<std::int32_t>(raw)),
        Corvane::logic_error);
    Corvane::RegisterConverter single(Corvane::IEEE754Converter("/test"));
    single.toRaw<double>(std::span<const double>(values), std::span<std::int32_t>(raw));
    EXPECT_TRUE(std::isnan(std::bit_cast<float>(raw[1])));
    EXPECT_EQ(std::bit_cast<float>(raw[2]), 2.0f);
  }

} // namespace
