// Whole-array decoding of fixed-point registers takes a fast path for numbers; it must give
// exactly what the element-wise conversion gives, for every width, fraction and sign.
#include "Corvane/FixedPointConverter.h"
#include "Corvane/RegisterConverter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

  template<class T>
  void expectSameAsElementWise(const Corvane::FixedPointConverter& fixed, const std::vector<std::int32_t>& raw) {
    Corvane::RegisterConverter bulk(fixed);
    std::vector<T> cooked(raw.size());
    bulk.toCooked<T>(std::span<const std::int32_t>(raw), std::span<T>(cooked));
    for(std::size_t i = 0; i < raw.size(); ++i) {
      auto expected = fixed.toCooked<T>(raw[i]);
      if constexpr(std::is_floating_point_v<T>) {
        EXPECT_EQ(std::memcmp(&expected, &cooked[i], sizeof(T)), 0) << raw[i] << " -> " << cooked[i] << " vs " << expected;
      }
      else {
        EXPECT_EQ(cooked[i], expected) << raw[i];
      }
    }
  }

  TEST(BulkDecode, FastPathMatchesElementWiseConversion) {
    std::mt19937 random(12345);
    std::vector<std::int32_t> raw{0, 1, -1, 2, -2, INT32_MAX, INT32_MIN, 0x7fff, 0x8000, 0xffff, 0x1ffff, 12345678};
    for(int i = 0; i < 200; ++i) raw.push_back(static_cast<std::int32_t>(random()));
    for(unsigned width : {1u, 8u, 16u, 18u, 24u, 31u, 32u}) {
      for(int frac : {-8, -1, 0, 1, 8, 17, 31, 40}) {
        for(bool isSigned : {true, false}) {
          SCOPED_TRACE(testing::Message() << "width " << width << " frac " << frac << " signed " << isSigned);
          Corvane::FixedPointConverter fixed("/test", width, frac, isSigned);
          expectSameAsElementWise<std::int32_t>(fixed, raw);
          expectSameAsElementWise<std::uint32_t>(fixed, raw);
          expectSameAsElementWise<std::int8_t>(fixed, raw);
          expectSameAsElementWise<std::uint16_t>(fixed, raw);
          expectSameAsElementWise<std::int64_t>(fixed, raw);
          expectSameAsElementWise<std::uint64_t>(fixed, raw);
          expectSameAsElementWise<float>(fixed, raw);
          expectSameAsElementWise<double>(fixed, raw);
        }
      }
    }
  }

} // namespace
