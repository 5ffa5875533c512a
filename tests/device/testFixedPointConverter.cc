// Edges of the fixed-point conversion: rounding, saturation, sign handling, NaN and infinities.
#include "Corvane/FixedPointConverter.h"
#include "EdgeValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

using Corvane::FixedPointConverter;

namespace {

  using testvalues::inf;


  struct Format {
    unsigned width;
    int fracBits;
    bool isSigned;
  };

  std::string describe(const Format& f) {
    return "width " + std::to_string(f.width) + ", fracBits " + std::to_string(f.fracBits) +
        (f.isSigned ? ", signed" : ", unsigned");
  }

  FixedPointConverter converter(const Format& f) { return FixedPointConverter("/Test/reg", f.width, f.fracBits, f.isSigned); }

  // raw words are given as the 32-bit pattern
  std::int32_t word(std::uint32_t bits) { return static_cast<std::int32_t>(bits); }

  TEST(FixedPointConverter, DoubleToRawRoundsAndSaturates) {
    struct Case {
      Format format;
      double value;
      std::uint32_t raw;
    };
    const Case cases[] = {
        {{16, 0, true}, 1.5, 2},
        {{16, 0, true}, -1.5, 0xFFFFFFFE},
        {{16, 0, true}, 0.5, 1},
        {{16, 0, true}, -0.5, 0xFFFFFFFF},      // halves round away from zero
        {{16, 0, true}, 0.4999999, 0},
        {{16, 0, true}, -0.4999999, 0},
        {{16, 0, true}, 32767.4, 32767},
        {{16, 0, true}, 32767.5, 32767},        // rounds to 32768, saturates
        {{16, 0, true}, -32768.5, 0xFFFF8000},  // rounds to -32769, saturates
        {{16, 0, true}, 1e300, 32767},
        {{16, 0, true}, inf, 32767},
        {{16, 0, true}, -inf, 0xFFFF8000},
        {{16, 0, false}, -0.5, 0},              // negative to unsigned gives 0
        {{16, 0, false}, -1e9, 0},
        {{16, 0, false}, -inf, 0},
        {{16, 0, false}, 65535.4, 65535},
        {{16, 0, false}, 65536, 65535},
        {{1, 0, false}, 1, 1},
        {{1, 0, false}, 2, 1},
        {{1, 0, false}, 0.4, 0},
        {{1, 0, true}, 1, 0},                   // a signed bit holds -1 and 0
        {{1, 0, true}, -1, 0xFFFFFFFF},
        {{32, 0, true}, 2147483647.49, 2147483647},
        {{32, 0, true}, 2147483647.5, 2147483647},
        {{32, 0, true}, -2147483648.5, 0x80000000},
        {{32, 0, false}, 4294967295.0, 0xFFFFFFFF},
        {{32, 0, false}, 4294967296.0, 0xFFFFFFFF},
        {{18, 17, true}, 1.0, 131071},          // 1.0 is just outside [-1, 1)
        {{18, 17, true}, -1.0, 0xFFFE0000},
        {{18, 17, true}, 0.5, 65536},
        {{18, 17, true}, std::ldexp(1.0, -18), 1},    // half an LSB
        {{18, 17, true}, -std::ldexp(1.0, -18), 0xFFFFFFFF},
        {{18, 17, true}, std::ldexp(1.0, -19), 0},    // a quarter LSB
        {{8, -2, false}, 4, 1},
        {{8, -2, false}, 5, 1},
        {{8, -2, false}, 6, 2},
        {{8, -2, false}, 1020, 255},
        {{8, -2, false}, 1024, 255},
        {{32, -256, true}, 1e300, 0x7FFFFFFF},
        {{32, 256, true}, 1e-300, 0},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(describe(c.format) + ", value " + std::to_string(c.value));
      EXPECT_EQ(converter(c.format).toRaw(c.value), word(c.raw));
    }
  }

  TEST(FixedPointConverter, RawToDoubleIsExact) {
    struct Case {
      Format format;
      std::uint32_t raw;
      double value;
    };
    const Case cases[] = {
        {{16, 0, true}, 0x8000, -32768},
        {{16, 0, true}, 0xFFFF, -1},
        {{16, 0, true}, 0x17FFF, 32767},        // bits above the width are ignored
        {{16, 0, false}, 0xFFFF, 65535},
        {{16, 0, false}, 0xFFFFFFFF, 65535},
        {{1, 0, true}, 1, -1},
        {{1, 0, false}, 1, 1},
        {{32, 0, false}, 0xFFFFFFFF, 4294967295.0},
        {{32, 0, true}, 0x80000000, -2147483648.0},
        {{18, 17, true}, 0x20000, -1.0},
        {{18, 17, true}, 1, std::ldexp(1.0, -17)},
        {{8, -2, false}, 255, 1020},
        {{32, -32, true}, 0x7FFFFFFF, 2147483647.0 * 4294967296.0},
        {{32, 256, false}, 1, std::ldexp(1.0, -256)},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(describe(c.format) + ", raw " + std::to_string(c.raw));
      EXPECT_EQ(converter(c.format).toCooked<double>(word(c.raw)), c.value);
    }
  }

  TEST(FixedPointConverter, RawToIntegerRoundsAndSaturatesAtTheUserType) {
    FixedPointConverter unsigned32("/u", 32, 0, false);
    EXPECT_EQ(unsigned32.toCooked<std::int16_t>(word(0xFFFFFFFF)), 32767);
    EXPECT_EQ(unsigned32.toCooked<std::int8_t>(word(0xFFFFFFFF)), 127);
    EXPECT_EQ(unsigned32.toCooked<std::uint8_t>(word(0xFFFFFFFF)), 255);
    EXPECT_EQ(unsigned32.toCooked<std::int32_t>(word(0xFFFFFFFF)), 2147483647);
    EXPECT_EQ(unsigned32.toCooked<std::uint32_t>(word(0xFFFFFFFF)), 4294967295u);

    FixedPointConverter signed32("/s", 32, 0, true);
    EXPECT_EQ(signed32.toCooked<std::uint32_t>(-5), 0u);
    EXPECT_EQ(signed32.toCooked<std::uint64_t>(-5), 0u);
    EXPECT_EQ(signed32.toCooked<std::int64_t>(-5), -5);
    EXPECT_EQ(signed32.toCooked<std::int8_t>(-200), -128);

    FixedPointConverter half("/h", 32, 1, true);
    EXPECT_EQ(half.toCooked<int>(3), 2);   // 1.5
    EXPECT_EQ(half.toCooked<int>(-3), -2); // -1.5
    EXPECT_EQ(half.toCooked<int>(1), 1);   // 0.5
    EXPECT_EQ(half.toCooked<int>(-1), -1); // -0.5

    FixedPointConverter huge("/huge", 32, -120, true);
    EXPECT_EQ(huge.toCooked<std::int64_t>(1), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(huge.toCooked<float>(0x7FFFFFFF), std::numeric_limits<float>::max()); // beyond float: largest finite
    EXPECT_EQ(huge.toCooked<float>(-1), -std::ldexp(1.0f, 120));
  }

  TEST(FixedPointConverter, IntegerToRawIsExactForAll64Bits) {
    FixedPointConverter signed32("/s", 32, 0, true);
    EXPECT_EQ(signed32.toRaw(std::numeric_limits<std::int64_t>::max()), 2147483647);
    EXPECT_EQ(signed32.toRaw(std::numeric_limits<std::int64_t>::min()), word(0x80000000));
    EXPECT_EQ(signed32.toRaw(std::numeric_limits<std::uint64_t>::max()), 2147483647);

    FixedPointConverter unsigned32("/u", 32, 0, false);
    EXPECT_EQ(unsigned32.toRaw(std::numeric_limits<std::uint64_t>::max()), word(0xFFFFFFFF));
    EXPECT_EQ(unsigned32.toRaw(std::numeric_limits<std::int64_t>::min()), 0);
    EXPECT_EQ(FixedPointConverter("/u8", 8, 0, false).toRaw(-1), 0);

    FixedPointConverter quarter("/q", 32, -2, true);
    EXPECT_EQ(quarter.toRaw(5), 1);   // 1.25
    EXPECT_EQ(quarter.toRaw(6), 2);   // 1.5 away from zero
    EXPECT_EQ(quarter.toRaw(-6), -2);
    EXPECT_EQ(quarter.toRaw(7), 2);   // 1.75

    // 2^62 + 2^30 - 1 scaled by 2^-31 is just below 2^31 + 0.5; a detour through double
    // would round the integer up to 2^62 + 2^30 first and then give 2^31 + 1
    FixedPointConverter scaled("/scaled", 32, -31, false);
    std::int64_t value = (std::int64_t{1} << 62) + (std::int64_t{1} << 30) - 1;
    EXPECT_EQ(scaled.toRaw(value), word(0x80000000));

    // 1 * 2^40 does not fit 32 bits
    EXPECT_EQ(FixedPointConverter("/big", 32, 40, true).toRaw(1), 2147483647);
    EXPECT_EQ(FixedPointConverter("/big", 32, 40, true).toRaw(0), 0);
  }

  TEST(FixedPointConverter, NaNIsRefusedNamingTheRegister) {
    FixedPointConverter c("/Controller/FeedForward/I", 18, 17, true);
    for(double nan : {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()}) {
      try {
        c.toRaw(nan);
        ADD_FAILURE() << "NaN was converted";
      }
      catch(const Corvane::logic_error& e) {
        EXPECT_NE(std::string(e.what()).find("/Controller/FeedForward/I"), std::string::npos) << e.what();
      }
    }
    EXPECT_THROW(c.toRaw(std::numeric_limits<float>::quiet_NaN()), Corvane::logic_error);
    EXPECT_THROW(c.toRaw(std::string("nan")), Corvane::logic_error);
  }

  TEST(FixedPointConverter, Strings) {
    struct Case {
      Format format;
      std::uint32_t raw;
      std::string text;
    };
    const Case toText[] = {
        {{32, 0, true}, 42, "42"},
        {{32, 0, true}, 0xFFFFFFD6, "-42"},
        {{32, 1, true}, 3, "1.5"},
        {{32, 0, false}, 0xFFFFFFFF, "4294967295"},
        {{32, -32, true}, 0x7FFFFFFF, "9223372032559808512"},
        {{18, 17, true}, 1, "7.62939453125e-06"},
    };
    for(const auto& c : toText) {
      SCOPED_TRACE(describe(c.format) + ", raw " + std::to_string(c.raw));
      EXPECT_EQ(converter(c.format).toCooked<std::string>(word(c.raw)), c.text);
    }
    const Case fromText[] = {
        {{32, 1, true}, 3, "1.5"},
        {{32, 0, true}, 0xFFFFFFFF, "-0.5"},
        {{32, 0, true}, 7, "+7"},
        {{32, 0, false}, 0xFFFFFFFF, "18446744073709551615"},
        {{32, 0, true}, 0x80000000, "-9223372036854775808"},
        {{32, 0, true}, 0x7FFFFFFF, "1e400"},
        {{16, 0, true}, 0xFFFF8000, "-inf"},
    };
    for(const auto& c : fromText) {
      SCOPED_TRACE(describe(c.format) + ", text " + c.text);
      EXPECT_EQ(converter(c.format).toRaw(c.text), word(c.raw));
    }
    for(std::string bad : {"", "abc", " 5", "5 ", "1.5.2", "0x10", "--1"}) {
      SCOPED_TRACE("text \"" + bad + "\"");
      try {
        FixedPointConverter("/Some/register").toRaw(bad);
        ADD_FAILURE() << "malformed text was converted";
      }
      catch(const Corvane::logic_error& e) {
        EXPECT_NE(std::string(e.what()).find("/Some/register"), std::string::npos) << e.what();
      }
    }
  }

#ifdef CORVANE_DEVICE_HAS_FRAMEWORK_TYPES
  TEST(FixedPointConverter, BooleanAndVoid) {
    FixedPointConverter plain("/b", 1, 0, false);
    EXPECT_FALSE(plain.toCooked<Corvane::Boolean>(0));
    EXPECT_TRUE(plain.toCooked<Corvane::Boolean>(1));
    EXPECT_FALSE(plain.toCooked<Corvane::Boolean>(2)); // only the register's bit counts
    EXPECT_EQ(plain.toRaw(Corvane::Boolean(true)), 1);
    EXPECT_EQ(plain.toRaw(Corvane::Boolean(false)), 0);
    EXPECT_EQ(plain.toRaw(Corvane::Void{}), 1);
    EXPECT_EQ(FixedPointConverter("/s", 16, 2, true).toRaw(Corvane::Boolean(true)), 4); // the value one
  }
#endif

  TEST(FixedPointConverter, FormatOutsideItsRangeIsRefused) {
    const Format bad[] = {{0, 0, true}, {33, 0, true}, {32, 257, true}, {32, -257, false}};
    for(const auto& f : bad) {
      SCOPED_TRACE(describe(f));
      try {
        FixedPointConverter("/Bad/format", f.width, f.fracBits, f.isSigned);
        ADD_FAILURE() << "accepted";
      }
      catch(const Corvane::logic_error& e) {
        EXPECT_NE(std::string(e.what()).find("/Bad/format"), std::string::npos) << e.what();
      }
    }
  }

} // namespace
