// The adapter's JSON model: exact round trips, strict parsing, errors that name the offset.
#include <Corvane/Cs/Json.h>
#include <Corvane/Exception.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

using Corvane::Cs::Json;

TEST(Json, DocumentsRoundTripExactly) {
  // numbers keep their text, so 64-bit integers and long decimals survive unchanged
  for(std::string text : {R"({"a":1,"b":[true,false,null],"c":"x"})", R"([18446744073709551615,-9223372036854775808])",
          R"({"pi":3.141592653589793238,"e":-1.5e-300,"z":-0})", R"(["tab\there","quote\"","back\\slash","\u0001"])",
          R"({"nested":{"deep":[[[]],{}]}})", R"("é€😀")"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Json::parse(text).dump(), text);
  }
}

TEST(Json, EscapesAndSurrogatesDecode) {
  EXPECT_EQ(Json::parse(R"("\u00e9\ud83d\ude00\n\/")").text(), "é😀\n/");
  auto document = Json::parse(R"( { "k" : [ 1 , 2 ] } )");
  ASSERT_NE(document.find("k"), nullptr);
  EXPECT_EQ(document.find("k")->items().size(), 2u);
  EXPECT_EQ(document.find("missing"), nullptr);
}

TEST(Json, NumbersConvertWithinTheirRange) {
  EXPECT_EQ(Json::parse("18446744073709551615").asUint64(), 18446744073709551615ULL);
  EXPECT_FALSE(Json::parse("18446744073709551616").asUint64());
  EXPECT_EQ(Json::parse("-9223372036854775808").asInt64(), INT64_MIN);
  EXPECT_FALSE(Json::parse("1.5").asInt64());
  EXPECT_EQ(Json::parse("1e400").asDouble(), HUGE_VAL);
  EXPECT_EQ(Json::parse("2.5e-1").asDouble(), 0.25);
}

TEST(Json, MalformedTextIsRefusedWithItsOffset) {
  struct Case {
    std::string text;
    std::string message;
  };
  for(const auto& c : std::vector<Case>{{"", "offset 0: value expected"}, {"{", "member name expected"},
          {"[1,]", "offset 3"}, {"01", "unexpected text after the value"}, {"1.", "digit expected after '.'"},
          {"-", "digit expected"}, {"1e", "digit expected in exponent"}, {"\"abc", "unterminated string"},
          {"\"a\nb\"", "control character"}, {R"("\x")", "bad escape"}, {R"("\ud800")", "lone surrogate"},
          {"tru", "unexpected character 't'"}, {"NaN", "unexpected character 'N'"}, {"{\"a\" 1}", "':' expected"},
          {"[1 2]", "',' or ']' expected"}, {"{} x", "unexpected text"}}) {
    SCOPED_TRACE(c.text);
    try {
      Json::parse(c.text);
      ADD_FAILURE() << "accepted";
    }
    catch(Corvane::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(Json, NestingIsBounded) {
  std::string deep(100, '[');
  deep += std::string(100, ']');
  EXPECT_THROW(Json::parse(deep), Corvane::runtime_error);
  EXPECT_NO_THROW(Json::parse(deep, Json::Limits{200}));
}

TEST(Json, StringsMustBeUtf8) {
  struct Case {
    std::string bytes;
    bool valid;
  };
  for(const auto& c : std::vector<Case>{{"plain", true}, {"\xc3\xa9", true}, {"\xe2\x82\xac", true},
          {"\xf0\x9f\x98\x80", true}, {"\xf4\x8f\xbf\xbf", true}, {"\xff", false}, {"\x80", false},
          {"\xc3", false}, {"\xc0\xaf", false}, {"\xe0\x80\xaf", false}, {"\xe2\x82", false},
          {"\xed\xa0\x80", false}, {"\xf0\x8f\xbf\xbf", false}, {"\xf4\x90\x80\x80", false}, {"a\xe9z", false}}) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    EXPECT_EQ(Json::isValidUtf8(c.bytes), c.valid);
    auto text = "[\"" + c.bytes + "\"]";
    if(c.valid) {
      EXPECT_EQ(Json::parse(text).items().at(0).text(), c.bytes);
      continue;
    }
    try {
      Json::parse(text);
      ADD_FAILURE() << "accepted";
    }
    catch(Corvane::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("invalid UTF-8"), std::string::npos) << e.what();
    }
  }
  // outside strings a stray byte is named by its value, not copied into the message
  try {
    Json::parse("\xff");
    ADD_FAILURE() << "accepted";
  }
  catch(Corvane::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("unexpected byte 0xff"), std::string::npos) << e.what();
  }
}

TEST(Json, WrittenTextIsUtf8WhateverTheStringsHold) {
  // each byte outside a valid sequence becomes U+FFFD; valid sequences stay as they are
  std::string out;
  Json::appendQuoted(out, "a\xff\xc3\xa9\xed\xa0\x80\xe2\x82");
  EXPECT_EQ(out, "\"a\xef\xbf\xbd\xc3\xa9\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"");
  EXPECT_TRUE(Json::isValidUtf8(out));
  EXPECT_EQ(Json::string("x\x80y").dump(), "\"x\xef\xbf\xbdy\"");
}
