// Wire forms of values: JSON and binary encoding, and the checks on written values.
#include <Corvane/Cs/ValueCodec.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Corvane;
using namespace Corvane::Cs;

namespace {
  template<class T>
  std::string json(std::vector<T> data, std::size_t n = 0) {
    auto value = std::make_shared<const ControlSystemValue<T>>(ControlSystemValue<T>{std::move(data)});
    std::string out;
    ValueCodec::appendJson(out, n ? n : value->data.size(), value);
    return out;
  }

  template<class T>
  std::vector<T> decode(const std::string& text, std::size_t n) {
    return std::get<std::vector<T>>(ValueCodec::decodeJson(Json::parse(text), dataTypeOf<T>(), n, "/v"));
  }

  std::string refusal(const std::string& text, DataType type, std::size_t n) {
    try {
      ValueCodec::decodeJson(Json::parse(text), type, n, "/v");
    }
    catch(RequestError& e) {
      EXPECT_EQ(e.status(), 400);
      return e.what();
    }
    return "accepted";
  }
} // namespace

TEST(ValueCodec, EncodesEveryTypeInItsShortestExactForm) {
  EXPECT_EQ(json<double>({0.1}), "0.1");
  EXPECT_EQ(json<float>({0.1f}), "0.1");
  EXPECT_EQ(json<float>({1.f, -2.5f, 1e-7f}), "[1,-2.5,1e-07]");
  EXPECT_EQ(json<double>({NAN, INFINITY, -INFINITY}), R"(["NaN","Infinity","-Infinity"])");
  EXPECT_EQ(json<std::int8_t>({-128}), "-128");
  EXPECT_EQ(json<std::uint8_t>({255}), "255");
  EXPECT_EQ(json<std::uint64_t>({18446744073709551615ULL}), "18446744073709551615");
  EXPECT_EQ(json<std::int64_t>({INT64_MIN}), "-9223372036854775808");
  EXPECT_EQ(json<Boolean>({true, false}), "[true,false]");
  EXPECT_EQ(json<std::string>({"a\"b"}), R"("a\"b")");
  EXPECT_EQ(json<Void>({Void{}}), "null");
  // an array of one element stays an array
  EXPECT_EQ(json<std::int32_t>({7}, 2), "[7]");
}

TEST(ValueCodec, DecodesValidValues) {
  EXPECT_EQ(decode<double>("1.25", 1), std::vector<double>{1.25});
  EXPECT_EQ(decode<double>("[1.25]", 1), std::vector<double>{1.25});
  EXPECT_EQ(decode<std::int32_t>("[-2147483648, 2147483647, 1e3, 5.0]", 4),
      (std::vector<std::int32_t>{INT32_MIN, INT32_MAX, 1000, 5}));
  EXPECT_EQ(decode<std::uint64_t>("18446744073709551615", 1), std::vector<std::uint64_t>{UINT64_MAX});
  EXPECT_EQ(decode<std::int64_t>("-9223372036854775808", 1), std::vector<std::int64_t>{INT64_MIN});
  EXPECT_EQ(decode<Boolean>("[true, 0, 1, false]", 4), (std::vector<Boolean>{true, false, true, false}));
  EXPECT_EQ(decode<std::string>(R"("x")", 1), std::vector<std::string>{"x"});
  EXPECT_EQ(decode<float>("3.4028234e38", 1), std::vector<float>{std::numeric_limits<float>::max()});
  EXPECT_EQ(decode<Void>("null", 1).size(), 1u);
}

TEST(ValueCodec, RefusesWrongTypeLengthAndRange) {
  struct Case {
    std::string text;
    DataType type;
    std::size_t n;
    std::string message;
  };
  for(const auto& c : std::vector<Case>{
          {"\"1\"", DataType::float64, 1, "/v: a number is expected for type double"},
          {"true", DataType::int32, 1, "a number is expected for type int32"},
          {"[1,2]", DataType::float64, 1, "/v has 1 element, 2 were given"},
          {"1", DataType::float32, 3, "/v has 3 elements, a single value was given"},
          {"[1,2]", DataType::float32, 3, "/v has 3 elements, 2 were given"},
          {"[1,\"a\",3]", DataType::float32, 3, "/v: element 1: a number is expected"},
          {"1.5", DataType::int32, 1, "1.5 is not an integer (type int32)"},
          {"2147483648", DataType::int32, 1, "outside the range of type int32"},
          {"-1", DataType::uint32, 1, "-1 is outside the range of type uint32"},
          {"256", DataType::uint8, 1, "outside the range of type uint8"},
          {"-129", DataType::int8, 1, "outside the range of type int8"},
          {"1e20", DataType::int64, 1, "outside the range of type int64"},
          {"18446744073709551616", DataType::uint64, 1, "outside the range of type uint64"},
          {"1e39", DataType::float32, 1, "outside the range of type float"},
          {"1e400", DataType::float64, 1, "outside the range of type double"},
          {"\"NaN\"", DataType::float64, 1, "only finite numbers"},
          {"[0,\"-Infinity\"]", DataType::float32, 2, "element 1: -Infinity is refused"},
          {"2", DataType::boolean, 1, "true, false, 0 or 1"},
          {"\"true\"", DataType::boolean, 1, "true, false, 0 or 1"},
          {"5", DataType::string, 1, "a string is expected"},
          {"{}", DataType::int32, 1, "a number is expected"}}) {
    SCOPED_TRACE(c.text);
    auto message = refusal(c.text, c.type, c.n);
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
  }
}

TEST(ValueCodec, BinaryFormRoundTripsAndIsChecked) {
  auto value = std::make_shared<const ControlSystemValue<float>>(ControlSystemValue<float>{{1.f, -2.f, 3.5f}});
  auto bytes = ValueCodec::rawBytes(value);
  ASSERT_EQ(bytes.size(), 12u);
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  EXPECT_EQ(std::get<std::vector<float>>(ValueCodec::decodeBinary(text, DataType::float32, 3, "/v")), value->data);
  // little-endian: 1.0f is 00 00 80 3f
  EXPECT_EQ(static_cast<unsigned char>(text[3]), 0x3f);

  EXPECT_THROW(ValueCodec::decodeBinary(text.substr(1), DataType::float32, 3, "/v"), RequestError);
  float nan = NAN;
  EXPECT_THROW(ValueCodec::decodeBinary(std::string_view(reinterpret_cast<char*>(&nan), 4), DataType::float32, 1, "/v"),
      RequestError);
  EXPECT_THROW(ValueCodec::decodeBinary("\x02", DataType::boolean, 1, "/v"), RequestError);
  EXPECT_THROW(ValueCodec::decodeBinary("ab", DataType::string, 1, "/v"), RequestError);
  EXPECT_TRUE(ValueCodec::rawBytes(SharedValue(std::shared_ptr<const ControlSystemValue<std::string>>())).empty());
}

TEST(ValueCodec, TimeStampsAreUtcWithMicroseconds) {
  auto time = std::chrono::system_clock::time_point(std::chrono::microseconds(1700000000123456LL));
  EXPECT_EQ(ValueCodec::formatTime(time), "2023-11-14T22:13:20.123456Z");
  EXPECT_EQ(ValueCodec::formatTime({}), "1970-01-01T00:00:00.000000Z");
}

TEST(ValueCodec, IntegersAreCheckedAgainstTheExactBoundsOfTheirType) {
  struct Case {
    std::string text;
    DataType type;
    bool accepted;
  };
  // both bounds of every integer type, one beyond each, and numbers that only a detour through
  // double would round into range
  for(const auto& c : std::vector<Case>{{"-128", DataType::int8, true}, {"127", DataType::int8, true},
          {"-129", DataType::int8, false}, {"128", DataType::int8, false}, {"0", DataType::uint8, true},
          {"255", DataType::uint8, true}, {"-1", DataType::uint8, false}, {"256", DataType::uint8, false},
          {"-32768", DataType::int16, true}, {"32767", DataType::int16, true}, {"-32769", DataType::int16, false},
          {"32768", DataType::int16, false}, {"65535", DataType::uint16, true}, {"65536", DataType::uint16, false},
          {"-1", DataType::uint16, false}, {"-2147483648", DataType::int32, true},
          {"2147483647", DataType::int32, true}, {"-2147483649", DataType::int32, false},
          {"2147483648", DataType::int32, false}, {"4294967295", DataType::uint32, true},
          {"4294967296", DataType::uint32, false}, {"-1", DataType::uint32, false},
          {"-9223372036854775808", DataType::int64, true}, {"9223372036854775807", DataType::int64, true},
          {"-9223372036854775809", DataType::int64, false}, {"9223372036854775808", DataType::int64, false},
          {"-9.223372036854775808e18", DataType::int64, true}, {"-9.223372036854775809e18", DataType::int64, false},
          {"-92233720368547758090e-1", DataType::int64, false}, {"9223372036854775807.0", DataType::int64, true},
          {"-18446744073709551616", DataType::int64, false}, {"18446744073709551615", DataType::uint64, true},
          {"18446744073709551616", DataType::uint64, false}, {"1.8446744073709551615e19", DataType::uint64, true},
          {"1.8446744073709551616e19", DataType::uint64, false}, {"-1", DataType::uint64, false},
          {"-9223372036854775808", DataType::uint64, false}, {"-0", DataType::uint64, true},
          {"-0.0e5", DataType::uint64, true}, {"1e19", DataType::uint64, true}, {"2e19", DataType::uint64, false},
          {"1e19", DataType::int64, false}, {"1e999999999999999999999", DataType::uint64, false},
          {"0e999999999999999999999", DataType::uint64, true}, {"100e-2", DataType::int8, true},
          {"1e-400", DataType::int32, false}, {"12.5e1", DataType::int32, true}, {"12.05e1", DataType::int32, false}}) {
    SCOPED_TRACE(c.text + " as " + std::string(dataTypeName(c.type)));
    auto message = refusal(c.text, c.type, 1);
    bool refused = message.find("outside the range") != std::string::npos ||
        message.find("not an integer") != std::string::npos;
    if(c.accepted) EXPECT_EQ(message, "accepted");
    else EXPECT_TRUE(refused) << message;
  }
  // accepted values arrive exactly
  EXPECT_EQ(decode<std::int64_t>("-9.223372036854775808e18", 1), std::vector<std::int64_t>{INT64_MIN});
  EXPECT_EQ(decode<std::int64_t>("9223372036854775807.0", 1), std::vector<std::int64_t>{INT64_MAX});
  EXPECT_EQ(decode<std::uint64_t>("1e19", 1), std::vector<std::uint64_t>{10000000000000000000ULL});
  EXPECT_EQ(decode<std::uint64_t>("-0", 1), std::vector<std::uint64_t>{0});
  EXPECT_EQ(decode<std::int8_t>("[-128, 100e-2, -1]", 3), (std::vector<std::int8_t>{-128, 1, -1}));
  EXPECT_EQ(decode<std::int32_t>("12.5e1", 1), std::vector<std::int32_t>{125});
}

TEST(ValueCodec, StringsMustBeUtf8) {
  auto invalid = Json::string("caf\xe9");
  try {
    ValueCodec::decodeJson(invalid, DataType::string, 1, "/v");
    ADD_FAILURE() << "accepted";
  }
  catch(RequestError& e) {
    EXPECT_EQ(e.status(), 400);
    EXPECT_NE(std::string(e.what()).find("/v: the string is not valid UTF-8"), std::string::npos) << e.what();
  }
  auto valid = ValueCodec::decodeJson(Json::string("caf\xc3\xa9"), DataType::string, 1, "/v");
  EXPECT_EQ(std::get<std::vector<std::string>>(valid), std::vector<std::string>{"caf\xc3\xa9"});
}

TEST(ValueCodec, RefusalsQuoteLongInputShortened) {
  auto huge = std::string(1 << 20, '9');
  for(auto type : {DataType::int64, DataType::int8, DataType::float32}) {
    auto message = refusal(huge, type, 1);
    EXPECT_NE(message.find("outside the range"), std::string::npos) << message.substr(0, 200);
    EXPECT_LT(message.size(), 300u);
    EXPECT_NE(message.find("(1048576 bytes)"), std::string::npos) << message.substr(0, 200);
  }
}
